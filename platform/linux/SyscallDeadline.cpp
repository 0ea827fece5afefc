#include "platform/linux/SyscallDeadline.h"

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int deadlineSignal() {
    return SIGRTMIN + 3;
}

extern "C" void onDeadline(int) {}

// Installed once. Without SA_RESTART an interrupted wait is not resumed; the signal is unblocked
// in the calling thread so that it reaches the call it is meant to cut short.
bool installHandler() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = onDeadline;
        sigemptyset(&action.sa_mask);
        return ::sigaction(deadlineSignal(), &action, nullptr) == 0;
    }();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, deadlineSignal());
    return installed && ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr) == 0;
}

} // namespace

SyscallDeadline::SyscallDeadline(std::chrono::milliseconds bound) {
    if (!installHandler())
        return;
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = deadlineSignal();
    event._sigev_un._tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0)
        return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bound);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(bound - seconds);
    itimerspec when{};
    when.it_value.tv_sec = seconds.count();
    when.it_value.tv_nsec = nanoseconds.count();
    if (::timer_settime(timer_, 0, &when, nullptr) != 0) {
        ::timer_delete(timer_);
        return;
    }
    armed_ = true;
}

// A signal that fired after the call returned finds the handler, which does nothing.
SyscallDeadline::~SyscallDeadline() {
    if (armed_)
        ::timer_delete(timer_);
}
