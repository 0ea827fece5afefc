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

// The parent, when given, is the object the notifier works for (it shows among its children).
inline NotifierPtr makeReadNotifier(int fd, QObject* parent = nullptr) {
    return NotifierPtr(new QSocketNotifier(fd, QSocketNotifier::Read, parent));
}

inline NotifierPtr makeWriteNotifier(int fd, QObject* parent = nullptr) {
    return NotifierPtr(new QSocketNotifier(fd, QSocketNotifier::Write, parent));
}
