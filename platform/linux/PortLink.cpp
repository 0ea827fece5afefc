#include "platform/linux/PortLink.h"

#include "platform/ComPortNames.h"
#include "platform/Folders.h"
#include "platform/linux/PortMarker.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0;
}

// The target of a symbolic link as written, empty when path is no link.
QString linkTarget(const QString& path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(native(path).constData(), buffer, sizeof buffer - 1);
    return n > 0 ? QFile::decodeName(QByteArray(buffer, n)) : QString();
}

bool removeFile(const QString& path) {
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

bool fail(QString* error, const QString& why) {
    *error = why;
    return false;
}

} // namespace

PortLink::PortLink(int n, QString target)
    : n_(n)
    , target_(std::move(target)) {}

QString PortLink::name() const {
    return comPortName(n_);
}

std::optional<PortLink> PortLink::claim(int n, const QString& target, const QString& other,
                                        QString* error) {
    const QString name = comPortName(n);
    const QString link = comLinkPath(n);
    if (exists(link)) {
        const auto marker = PortMarker::read(comMarkerPath(n));
        const bool ours = marker && marker->names(linkTarget(link));
        if (ours && marker->ownerRunning()) {
            fail(error, QStringLiteral("%1 is in use: a virtual port of a running program (pid %2)")
                            .arg(name)
                            .arg(marker->pid));
            return std::nullopt;
        }
        if (!ours) {
            fail(error, QStringLiteral("%1 already exists: %2 is a port mapping").arg(name, link));
            return std::nullopt;
        }
        if (!removeFile(link)) {
            fail(error,
                 QStringLiteral("cannot remove the stale link %1: %2").arg(link, errnoText()));
            return std::nullopt;
        }
    }
    // symlink() fails when the name exists: of two programs claiming it, one wins.
    if (::symlink(native(target).constData(), native(link).constData()) != 0) {
        fail(error, QStringLiteral("cannot create %1: %2").arg(link, errnoText()));
        return std::nullopt;
    }
    const QString markerPath = comMarkerPath(n);
    if (!PortMarker::forThisProcess(target, other).write(markerPath)) {
        const QString why = errnoText();
        removeFile(link);
        fail(error, QStringLiteral("cannot write %1: %2").arg(markerPath, why));
        return std::nullopt;
    }
    return PortLink(n, target);
}

bool PortLink::stillOurs() const {
    return linkTarget(comLinkPath(n_)) == target_;
}

// The new link is made beside the old one and renamed over it, so COMn never goes missing.
// The marker names both ptys already: it stays as it is.
bool PortLink::repoint(const QString& target, QString* error) {
    const QString link = comLinkPath(n_);
    if (!stillOurs())
        return fail(error, QStringLiteral("%1 is no longer a link of this program").arg(link));
    const QString next = link + QStringLiteral(".next");
    removeFile(next);
    if (::symlink(native(target).constData(), native(next).constData()) != 0 ||
        ::rename(native(next).constData(), native(link).constData()) != 0) {
        const QString why = errnoText();
        removeFile(next);
        return fail(error, QStringLiteral("cannot point %1 at %2: %3").arg(link, target, why));
    }
    target_ = target;
    return true;
}

// The marker first: whoever then sees the link finds it recorded as ours.
bool PortLink::renew(const QString& target, const QString& other, QString* error) {
    if (!PortMarker::forThisProcess(target, other).write(comMarkerPath(n_)))
        return fail(error,
                    QStringLiteral("cannot write %1: %2").arg(comMarkerPath(n_), errnoText()));
    return target == target_ || repoint(target, error);
}

// Only what is still ours goes: a user may have put a mapping of their own in its place.
bool PortLink::release(QString* error) {
    const QString link = comLinkPath(n_);
    if (stillOurs() && !removeFile(link))
        return fail(error, QStringLiteral("cannot remove %1: %2").arg(link, errnoText()));
    const QString markerPath = comMarkerPath(n_);
    const auto marker = PortMarker::read(markerPath);
    if (marker && marker->ownedByThisProcess() && marker->names(target_))
        removeFile(markerPath);
    return true;
}

bool PortLink::removeStale(QString* error) {
    const QDir folder(portsFolder());
    if (!folder.exists())
        return true;
    if (const QString problem = preparePortsFolder(); !problem.isEmpty())
        return fail(error, problem);
    bool ok = true;
    // Special files (a FIFO would block the reading) are never markers of ours.
    const QStringList markers =
        folder.entryList({QStringLiteral(".COM*.lumivex")}, QDir::Files | QDir::Hidden);
    for (const QString& file : markers) {
        const int n = comNumberOfMarker(file);
        const auto marker = n ? PortMarker::read(folder.filePath(file)) : std::nullopt;
        if (!marker || marker->ownerRunning())
            continue;
        const QString link = comLinkPath(n);
        if (marker->names(linkTarget(link)) && !removeFile(link)) {
            ok = fail(error,
                      QStringLiteral("cannot remove the stale link %1: %2").arg(link, errnoText()));
            continue;
        }
        removeFile(folder.filePath(file));
    }
    return ok;
}
