#include "platform/AtomicFile.h"

#include "platform/linux/UniqueFd.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxLinkDepth = 40;
constexpr int maxNameAttempts = 100;
// Keeps the temporary file's name within the 255 bytes a file name may have.
constexpr qsizetype maxNamePrefix = 40;

// The file a write to `path` really changes: links of this user or of root are followed (a
// dangling link names the file to create). Empty for a link loop or another user's link.
QString resolveLinks(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int depth = 0; depth <= maxLinkDepth; ++depth) {
        struct stat st {};
        if (::lstat(QFile::encodeName(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        if (st.st_uid != ::geteuid() && st.st_uid != 0)
            return {};
        current = QFileInfo(current).symLinkTarget();
    }
    return {};
}

// Creates a new, empty file beside `target` with a name no one else uses.
int createTemporary(const QString& target, mode_t perm, QByteArray* name) {
    const QFileInfo info(target);
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        const QString candidate =
            QStringLiteral("%1/.%2.%3.tmp")
                .arg(info.absolutePath(), info.fileName().left(maxNamePrefix))
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        *name = QFile::encodeName(candidate);
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, perm);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void syncFolder(const QString& file) {
    const UniqueFd folder(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
}

} // namespace

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, std::optional<mode_t> mode,
                         LinkHandling links) {
    const bool follow = links == LinkHandling::Follow;
    const QString target = path.isEmpty() ? QString()
                           : follow       ? resolveLinks(path)
                                          : QFileInfo(path).absoluteFilePath();
    if (target.isEmpty()) {
        errno = path.isEmpty() ? ENOENT : EPERM; // a link loop, or another user's link
        return false;
    }
    const QByteArray nativeTarget = QFile::encodeName(target);

    struct stat old {};
    const bool found = ::lstat(nativeTarget.constData(), &old) == 0;
    if (found && (S_ISDIR(old.st_mode) || (follow && !S_ISREG(old.st_mode)))) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // Only a regular file passes its mode and owner on; anything else is simply replaced.
    const bool exists = found && S_ISREG(old.st_mode);
    // A read-only file stays as it is, although the folder would let it be replaced.
    if (exists && ::faccessat(AT_FDCWD, nativeTarget.constData(), W_OK, AT_EACCESS) != 0)
        return false;

    // Created private whenever the final mode is not known yet; a new file without a given
    // mode takes 0666 through the umask like any other new file.
    const mode_t createMode = mode ? *mode : (exists ? 0600 : 0666);
    QByteArray tempName;
    UniqueFd file(createTemporary(target, createMode, &tempName));
    if (!file.valid())
        return false;

    bool ok = writeAll(file.get(), bytes);
    if (ok && exists) {
        // Best effort: only root may give the file back to its owner.
        [[maybe_unused]] const int owned = ::fchown(file.get(), old.st_uid, old.st_gid);
    }
    if (ok && (mode || exists)) // a given mode: the umask may have cleared wanted bits
        ok = ::fchmod(file.get(), mode ? *mode : old.st_mode & 07777) == 0;
    ok = ok && ::fsync(file.get()) == 0;
    ok = file.close() && ok;
    ok = ok && ::rename(tempName.constData(), nativeTarget.constData()) == 0;
    if (!ok) {
        const int failure = errno;
        ::unlink(tempName.constData());
        errno = failure;
        return false;
    }
    syncFolder(target);
    return true;
}
