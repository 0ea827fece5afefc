#include "platform/linux/HangUpNotifier.h"

#include <sys/epoll.h>

HangUpNotifier::HangUpNotifier(QObject* parent)
    : QObject(parent) {}

// An epoll set holding fd is readable while fd has one of the events asked for; hang-up and
// error are always among them, whatever is asked.
bool HangUpNotifier::watch(int fd) {
    stop();
    UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event event{};
    event.events = reading_ ? uint32_t(EPOLLIN) : 0;
    if (!epoll || ::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    epoll_ = std::move(epoll);
    fd_ = fd;
    notifier_ = makeReadNotifier(epoll_.get(), this);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &HangUpNotifier::activated);
    return true;
}

void HangUpNotifier::stop() {
    notifier_.reset();
    epoll_.reset();
    fd_ = -1;
}

void HangUpNotifier::setReading(bool on) {
    if (reading_ == on)
        return;
    reading_ = on;
    if (!watching())
        return;
    epoll_event event{};
    event.events = on ? uint32_t(EPOLLIN) : 0;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, fd_, &event);
}
