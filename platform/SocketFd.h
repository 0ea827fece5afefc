#pragma once
// Owns one socket file descriptor: closed when the owner goes, handed on with release().

#include <unistd.h>
#include <utility>

class SocketFd {
public:
    SocketFd() = default;
    explicit SocketFd(int fd)
        : fd_(fd) {}
    ~SocketFd() { reset(); }
    SocketFd(SocketFd&& other) noexcept
        : fd_(other.release()) {}
    SocketFd& operator=(SocketFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};
