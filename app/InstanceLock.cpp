#include "app/InstanceLock.h"

#include "platform/Folders.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock() {
    const RuntimeFolder folder = runtimeFolder();
    if (folder.path.isEmpty()) {
        error_ = folder.error;
        return;
    }
    lock(folder.path + QLatin1Char('/') + QFileInfo(executablePath()).fileName() +
         QStringLiteral(".lock"));
}

InstanceLock::InstanceLock(const QString& path) {
    if (path.isEmpty()) {
        error_ = QStringLiteral("no lock file named");
        return;
    }
    lock(path);
}

void InstanceLock::lock(const QString& path) {
    UniqueFd fd(::open(QFile::encodeName(path).constData(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        error_ = QStringLiteral("cannot open %1: %2").arg(path, qt_error_string(errno));
        return;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            error_ = QStringLiteral("cannot lock %1: %2").arg(path, qt_error_string(errno));
        return;
    }
    fd_ = std::move(fd);
}
