#include "platform/linux/DeviceOpenWatcher.h"

#include <QFile>

#include <sys/inotify.h>

DeviceOpenWatcher::DeviceOpenWatcher(QObject* parent)
    : QObject(parent) {}

bool DeviceOpenWatcher::watch(const QString& path) {
    stop();
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd)
        return false;
    if (::inotify_add_watch(fd.get(), QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE) < 0)
        return false;
    fd_ = std::move(fd);
    notifier_ = makeReadNotifier(fd_.get());
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceOpenWatcher::onReadable);
    return true;
}

void DeviceOpenWatcher::stop() {
    notifier_.reset();
    fd_.reset();
}

void DeviceOpenWatcher::onReadable() {
    alignas(inotify_event) char buffer[4096];
    int opens = 0;
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            opens += (event->mask & IN_OPEN) != 0 ? 1 : 0;
            any = true;
            at += static_cast<ssize_t>(sizeof(inotify_event)) + event->len;
        }
    }
    if (any)
        emit activity(opens);
}
