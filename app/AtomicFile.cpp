#include "app/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns one file descriptor; closes it when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd)
        : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

constexpr int maxLinkDepth = 40;
constexpr int maxNameAttempts = 100;
// Keeps the temporary file's name within the 255 bytes a file name may have.
constexpr qsizetype maxNamePrefix = 40;

// The file a write to `path` really changes: symbolic links are followed (a dangling link
// names the file to create). Empty for a link loop.
QString resolveLinks(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == maxLinkDepth)
            return {};
        info.setFile(info.symLinkTarget());
    }
    return info.absoluteFilePath();
}

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
    const Fd folder(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, std::optional<mode_t> mode) {
    const QString target = path.isEmpty() ? QString() : resolveLinks(path);
    if (target.isEmpty())
        return false;
    const QByteArray nativeTarget = QFile::encodeName(target);

    struct stat old {};
    const bool exists = ::stat(nativeTarget.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;
    // A read-only file stays as it is, although the folder would let it be replaced.
    if (exists && ::faccessat(AT_FDCWD, nativeTarget.constData(), W_OK, AT_EACCESS) != 0)
        return false;

    // Created private whenever the final mode is not known yet; a new file without a given
    // mode takes 0666 through the umask like any other new file.
    const mode_t createMode = mode ? *mode : (exists ? 0600 : 0666);
    QByteArray tempName;
    Fd file(createTemporary(target, createMode, &tempName));
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
        ::unlink(tempName.constData());
        return false;
    }
    syncFolder(target);
    return true;
}
