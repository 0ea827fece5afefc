#pragma once
// An owned QSocketNotifier that is switched off at once and deleted through the event loop,
// so that it may be dropped from inside its own activated() signal.

#include <QSocketNotifier>
#include <memory>

struct NotifierDeleter {
    void operator()(QSocketNotifier* notifier) const {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
};

using NotifierPtr = std::unique_ptr<QSocketNotifier, NotifierDeleter>;

inline NotifierPtr makeReadNotifier(int fd) {
    return NotifierPtr(new QSocketNotifier(fd, QSocketNotifier::Read));
}

inline NotifierPtr makeWriteNotifier(int fd) {
    return NotifierPtr(new QSocketNotifier(fd, QSocketNotifier::Write));
}
