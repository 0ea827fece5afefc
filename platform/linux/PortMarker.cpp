#include "platform/linux/PortMarker.h"

#include "platform/AtomicFile.h"
#include "platform/linux/UniqueFd.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype maxMarkerSize = 4096;
constexpr mode_t markerMode = 0644;

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

PortMarker PortMarker::forThisProcess(const QString& ptyPath, const QString& otherPtyPath) {
    const qint64 pid = ::getpid();
    return {pid, processStartTime(pid), ptyPath, otherPtyPath};
}

// A marker is a small regular file: opened without blocking (a FIFO would wait for a writer)
// and without following a link.
std::optional<QByteArray> readMarkerFile(const QString& path) {
    const UniqueFd fd(::open(QFile::encodeName(path).constData(),
                             O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    QByteArray bytes(maxMarkerSize, Qt::Uninitialized);
    const ssize_t n = ::read(fd.get(), bytes.data(), static_cast<size_t>(bytes.size()));
    if (n < 0)
        return std::nullopt;
    bytes.truncate(n);
    return bytes;
}

std::optional<PortMarker> PortMarker::read(const QString& path) {
    const std::optional<QByteArray> text = readMarkerFile(path);
    if (!text)
        return std::nullopt;
    PortMarker marker;
    for (const QByteArray& line : text->split('\n')) {
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
            (marker.ptyPath.isEmpty() ? marker.ptyPath : marker.otherPtyPath) =
                QFile::decodeName(value);
    }
    if (marker.pid <= 0 || marker.ptyPath.isEmpty())
        return std::nullopt;
    return marker;
}

bool PortMarker::write(const QString& path) const {
    QByteArray text = "pid=" + QByteArray::number(pid) +
                      "\nstart=" + QByteArray::number(startTime) +
                      "\npty=" + QFile::encodeName(ptyPath) + '\n';
    if (!otherPtyPath.isEmpty())
        text += "pty=" + QFile::encodeName(otherPtyPath) + '\n';
    // Whatever lies at the marker's name is replaced, never written through.
    return writeFileAtomically(path, text, markerMode, LinkHandling::Replace);
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
