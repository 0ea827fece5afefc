#pragma once
// A program started on its own, as a shell starts one in the background: it is no child of
// this process and outlives it, but this process still learns when it ends.

#include "platform/linux/UniqueFd.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

class DetachedProgram : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts the command line, split into program and arguments without a shell. False when
    // nothing could be started (or another start still runs).
    bool start(const QString& commandLine);
    bool running() const { return pidfd_.valid(); }

signals:
    void ended();

private:
    void watch(qint64 pid);
    void onEnded();

    UniqueFd pidfd_; // readable once the program has ended
    std::unique_ptr<QSocketNotifier> notifier_;
};
