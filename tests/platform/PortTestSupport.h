#pragma once
// Pty pairs made by the test and bounded raw reads and writes for the port tests.

#include "platform/linux/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <sys/types.h>

// A raw, non-blocking pty pair: the slave plays the device, the master its far side.
struct TestPty {
    UniqueFd master, slave;
    QString slavePath;

    static TestPty open();
};

// Read-write, non-blocking, not as the controlling tty.
UniqueFd openTerminal(const QString& path);

// Reads from fd, running the event loop, until count bytes came or the bound passed.
QByteArray readExactly(int fd, qsizetype count,
                       std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

// Writes all bytes to a non-blocking fd, running the event loop while it is full.
bool writeAll(int fd, const QByteArray& bytes,
              std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

QByteArray allByteValues(); // 0..255 in order
pid_t deadPid();            // of a process that has ended

// The output line rate (also one without a B constant), or -1.
int terminalRate(int fd);

// Whether the component would leave the event loop asleep: none of its timers runs, and none
// of its switched-on notifiers has its descriptor ready (which would wake the loop for
// nothing, over and over). Describes what would wake it, empty when nothing would.
QString wakeUps(const QObject& component);

// Runs the event loop over what is ready now, without waiting and without timers coming due:
// what this lets happen happens at once, not after a poll.
void settle();
