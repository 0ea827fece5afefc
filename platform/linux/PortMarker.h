#pragma once
// The record beside a virtual port link (<ports folder>/.COMn.lumivex): which process made the
// link and which ptys it may point at. It tells this program's links apart from a user's mapping,
// and a link whose owner is gone from one still in use.

#include <QString>
#include <optional>

struct PortMarker {
    PortMarker() = default;
    PortMarker(qint64 pid, quint64 startTime, QString ptyPath, QString otherPtyPath = {})
        : pid(pid)
        , startTime(startTime)
        , ptyPath(std::move(ptyPath))
        , otherPtyPath(std::move(otherPtyPath)) {}

    qint64 pid = 0;
    quint64 startTime = 0; // the owner's start time in clock ticks after boot; 0 when unknown
    QString ptyPath;
    QString otherPtyPath; // a port has two ptys, and the link leads to either; may be empty

    // The marker for this process and the port's ptys.
    static PortMarker forThisProcess(const QString& ptyPath, const QString& otherPtyPath = {});
    // The marker in the file, or nullopt when it is missing or unreadable.
    static std::optional<PortMarker> read(const QString& path);
    // Writes the marker in place of the file (temporary file and rename).
    bool write(const QString& path) const;

    // Whether the owner still runs: its pid exists and, when recorded, with the same start
    // time (pids are reused).
    bool ownerRunning() const;
    bool ownedByThisProcess() const;
    // Whether pty is one of the port's.
    bool names(const QString& pty) const {
        return !pty.isEmpty() && (pty == ptyPath || pty == otherPtyPath);
    }
};

// The start time of a running process, 0 when it cannot be read.
quint64 processStartTime(qint64 pid);
