#pragma once
// Tells whether another instance of the program runs: the first instance holds an exclusive
// lock on <runtime folder>/<app>.lock for its whole life; the kernel drops it when the
// process ends, however it ends.

#include "platform/linux/UniqueFd.h"

#include <QString>

class InstanceLock {
public:
    // Tries to take the lock <runtime folder>/<app>.lock.
    InstanceLock();
    // Tries to take the lock at path.
    explicit InstanceLock(const QString& path);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock, that is, no other instance ran when it started.
    bool held() const { return fd_.valid(); }
    // Why the lock could not be checked, or empty (another instance holding it is no error).
    const QString& error() const { return error_; }

private:
    void lock(const QString& path);

    UniqueFd fd_;
    QString error_;
};
