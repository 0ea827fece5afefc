#pragma once
// Tells when a descriptor hangs up, and when it has bytes to read while reading is wanted.
// Hang-up is reported even while reading is not wanted (a receiver that holds its input back
// still hears that the other side closed); nothing is reported while neither has happened, so
// an idle descriptor causes no wake-ups. Qt's read notifier cannot do this: it reports hang-up
// only together with readability.

#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <QObject>

class HangUpNotifier : public QObject {
    Q_OBJECT
public:
    explicit HangUpNotifier(QObject* parent = nullptr);

    // Starts watching fd (which the caller keeps open until stop()); false when it cannot.
    bool watch(int fd);
    void stop();
    bool watching() const { return fd_ >= 0; }
    // Whether readable bytes are reported too.
    void setReading(bool on);

signals:
    // fd hung up or has bytes to read: look at it. Keeps coming while that holds.
    void activated();

private:
    UniqueFd epoll_;
    NotifierPtr notifier_;
    int fd_ = -1;
    bool reading_ = false;
};
