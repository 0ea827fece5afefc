#include "platform/LogFile.h"

#include "platform/AtomicFile.h"
#include "platform/linux/UniqueFd.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

bool appendToLog(const QString& path, const QByteArray& bytes, qint64 rotateAt) {
    const QByteArray native = QFile::encodeName(path);
    for (bool rotated = false;; rotated = true) {
        const UniqueFd log(
            ::open(native.constData(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
        struct stat st {};
        if (!log || ::fstat(log.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        if (rotated || st.st_size == 0 || st.st_size + bytes.size() <= rotateAt)
            return writeAll(log.get(), bytes);
        if (::rename(native.constData(), (native + ".1").constData()) != 0)
            return false;
    }
}
