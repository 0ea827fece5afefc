#pragma once
// Bounds how long a blocking system call of this thread may wait. While the object lives, a
// timer sends this thread a signal once the bound has passed; a call that waits interruptibly
// then gives up its wait (close() of a tty gives up draining the transmit queue and closes;
// read() returns EINTR). The signal is one real-time signal that nothing else in the program
// uses, caught by a handler that does nothing and does not restart calls.

#include <chrono>
#include <ctime>

class SyscallDeadline {
public:
    explicit SyscallDeadline(std::chrono::milliseconds bound);
    ~SyscallDeadline();
    SyscallDeadline(const SyscallDeadline&) = delete;
    SyscallDeadline& operator=(const SyscallDeadline&) = delete;

    // Whether the timer runs: without it (no timer left) calls wait as long as they would.
    bool armed() const { return armed_; }

private:
    timer_t timer_{};
    bool armed_ = false;
};
