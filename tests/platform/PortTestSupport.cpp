#include "tests/platform/PortTestSupport.h"

#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

TestPty TestPty::open() {
    TestPty pty;
    int master = -1, slave = -1;
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
        return pty;
    pty.master.reset(master);
    pty.slave.reset(slave);
    for (int fd : {master, slave})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    pty.slavePath = QString::fromLocal8Bit(::ttyname(slave));
    return pty;
}

UniqueFd openTerminal(const QString& path) {
    return UniqueFd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK));
}

QByteArray readExactly(int fd, qsizetype count, std::chrono::milliseconds bound) {
    QByteArray got;
    waitUntil(
        [&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                got.append(buffer, n);
            return got.size() >= count;
        },
        bound);
    return got;
}

bool writeAll(int fd, const QByteArray& bytes, std::chrono::milliseconds bound) {
    qsizetype done = 0;
    return waitUntil(
        [&] {
            for (ssize_t n = 1; done < bytes.size() && n > 0; done += std::max<ssize_t>(n, 0))
                n = ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
            return done == bytes.size();
        },
        bound);
}

QByteArray allByteValues() {
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

pid_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QString wakeUps(const QObject& component) {
    QStringList found;
    for (const QTimer* timer : component.findChildren<QTimer*>()) {
        if (timer->isActive())
            found << QStringLiteral("a timer every %1 ms").arg(timer->interval());
    }
    for (const QSocketNotifier* notifier : component.findChildren<QSocketNotifier*>()) {
        const bool reading = notifier->type() == QSocketNotifier::Read;
        pollfd p{static_cast<int>(notifier->socket()), short(reading ? POLLIN : POLLOUT), 0};
        if (notifier->isEnabled() && ::poll(&p, 1, 0) == 1)
            found << QStringLiteral("a ready notifier on fd %1").arg(p.fd);
    }
    return found.join(QStringLiteral(", "));
}

void settle() {
    for (int round = 0; round < 5; ++round)
        QCoreApplication::processEvents();
}
