#pragma once
// Helpers for the port tests: pty pairs made by the test, raw reads and writes on file
// descriptors with bounded waits, and the line rate a terminal is set to.

#include "platform/linux/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <sys/types.h>

// A raw, non-blocking pty pair: the slave plays the device, the master its far side.
struct TestPty {
    UniqueFd master;
    UniqueFd slave;
    QString slavePath;

    static TestPty open();
};

// Opens a terminal device read-write, non-blocking, without making it the controlling tty.
UniqueFd openTerminal(const QString& path);

// Reads from fd, running the event loop, until count bytes came or the bound passed.
QByteArray readExactly(int fd, qsizetype count,
                       std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

// Writes all bytes to a non-blocking fd, running the event loop while it is full.
bool writeAll(int fd, const QByteArray& bytes,
              std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

// The 256 byte values in order.
QByteArray allByteValues();

// A pid that belonged to a process that has ended.
pid_t deadPid();

// The output line rate set on a terminal (through termios2, which also shows rates without
// a B constant), or -1.
int terminalRate(int fd);
