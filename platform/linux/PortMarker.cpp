#include "platform/linux/PortMarker.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

constexpr qsizetype maxMarkerSize = 4096;

// Field 22 of /proc/<pid>/stat. The command name (field 2) may hold blanks and brackets, so
// counting starts after its closing bracket.
quint64 startTimeFromStat(const QByteArray& stat) {
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    constexpr int startTimeIndex = 22 - 3; // fields 3, 4, ... follow the bracket
    return fields.size() > startTimeIndex ? fields[startTimeIndex].toULongLong() : 0;
}

} // namespace

quint64 processStartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    return startTimeFromStat(stat.read(maxMarkerSize));
}

PortMarker PortMarker::forThisProcess(const QString& ptyPath) {
    const qint64 pid = ::getpid();
    return {pid, processStartTime(pid), ptyPath};
}

std::optional<PortMarker> PortMarker::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    PortMarker marker;
    for (const QByteArray& line : file.read(maxMarkerSize).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "pid")
            marker.pid = value.toLongLong();
        else if (key == "start")
            marker.startTime = value.toULongLong();
        else if (key == "pty")
            marker.ptyPath = QFile::decodeName(value);
    }
    if (marker.pid <= 0 || marker.ptyPath.isEmpty())
        return std::nullopt;
    return marker;
}

bool PortMarker::write(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = "pid=" + QByteArray::number(pid) +
                            "\nstart=" + QByteArray::number(startTime) +
                            "\npty=" + QFile::encodeName(ptyPath) + '\n';
    file.write(text);
    return file.commit();
}

bool PortMarker::ownerRunning() const {
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
        return false;
    if (startTime == 0)
        return true;
    const quint64 now = processStartTime(pid);
    return now == 0 || now == startTime;
}

bool PortMarker::ownedByThisProcess() const {
    return pid == ::getpid();
}
