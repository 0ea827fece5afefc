#include "platform/linux/DeviceOpenWatcher.h"

#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <QFile>
#include <QHash>
#include <QPointer>

#include <sys/inotify.h>

namespace {

// The one inotify instance of the program, alive while some watcher uses it.
class InotifyHub : public QObject {
public:
    static InotifyHub* acquire();
    // The watch descriptor for path, or -1.
    int add(const QString& path, DeviceOpenWatcher* watcher);
    void remove(int watch);

private:
    explicit InotifyHub(UniqueFd fd);
    void dropIfUnused();
    void onReadable();

    UniqueFd fd_;
    NotifierPtr notifier_;
    QHash<int, QPointer<DeviceOpenWatcher>> watchers_;
};

InotifyHub* current = nullptr;

InotifyHub::InotifyHub(UniqueFd fd)
    : fd_(std::move(fd))
    , notifier_(makeReadNotifier(fd_.get(), this)) {
    connect(notifier_.get(), &QSocketNotifier::activated, this, &InotifyHub::onReadable);
}

InotifyHub* InotifyHub::acquire() {
    if (!current) {
        UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (fd)
            current = new InotifyHub(std::move(fd));
    }
    return current;
}

// IN_MASK_CREATE: a node watched already (by another watcher) is refused rather than shared.
int InotifyHub::add(const QString& path, DeviceOpenWatcher* watcher) {
    const int watch = ::inotify_add_watch(fd_.get(), QFile::encodeName(path).constData(),
                                          IN_OPEN | IN_CLOSE | IN_MASK_CREATE);
    if (watch >= 0)
        watchers_.insert(watch, watcher);
    else
        dropIfUnused();
    return watch;
}

void InotifyHub::remove(int watch) {
    watchers_.remove(watch);
    ::inotify_rm_watch(fd_.get(), watch);
    dropIfUnused();
}

// The last watcher gone, the instance is closed at once; the object itself goes through the
// event loop, since this may run from inside its own onReadable().
void InotifyHub::dropIfUnused() {
    if (watchers_.isEmpty() && current == this) {
        current = nullptr;
        notifier_.reset();
        fd_.reset();
        deleteLater();
    }
}

// Events are gathered per watch first, then reported: a report may add or remove watchers.
// After a queue overflow nobody knows what was missed, so every watcher looks again.
void InotifyHub::onReadable() {
    QHash<int, int> opensByWatch;
    bool overflow = false;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(fd_.get(), buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW)
                overflow = true;
            else if (event->mask & (IN_OPEN | IN_CLOSE))
                opensByWatch[event->wd] += (event->mask & IN_OPEN) != 0 ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event)) + event->len;
        }
    }
    const QList<int> watches = overflow ? watchers_.keys() : opensByWatch.keys();
    for (int watch : watches) {
        if (const QPointer<DeviceOpenWatcher> watcher = watchers_.value(watch))
            emit watcher->activity(opensByWatch.value(watch));
    }
}

} // namespace

DeviceOpenWatcher::DeviceOpenWatcher(QObject* parent)
    : QObject(parent) {}

DeviceOpenWatcher::~DeviceOpenWatcher() {
    stop();
}

bool DeviceOpenWatcher::watch(const QString& path) {
    stop();
    InotifyHub* hub = InotifyHub::acquire();
    watch_ = hub ? hub->add(path, this) : -1;
    return watch_ >= 0;
}

void DeviceOpenWatcher::stop() {
    if (watch_ >= 0 && current)
        current->remove(watch_);
    watch_ = -1;
}
