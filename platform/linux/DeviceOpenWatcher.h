#pragma once
// Watches a device node with inotify and reports when some process opens or closes it.
// The report is a hint: the caller confirms the state by other means (a pty master's
// hang-up flag), since inotify announces a close before the device is released.

#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class DeviceOpenWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceOpenWatcher(QObject* parent = nullptr);

    // Starts watching path; returns false when inotify cannot watch it.
    bool watch(const QString& path);
    void stop();
    bool watching() const { return fd_.valid(); }

signals:
    // Some process opened or closed the device; opens is how many opens were among the
    // events read.
    void activity(int opens);

private:
    void onReadable();

    UniqueFd fd_;
    NotifierPtr notifier_;
};
