// Service manager notifications over a datagram socket that the test binds.

#include "app/ServiceNotify.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The next waiting datagram; empty when none is waiting.
QByteArray take(const UniqueFd& fd) {
    char buffer[256];
    const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

TEST(ServiceNotify, SendsToAPathOrAbstractSocketAndIsQuietWithoutOne) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("notify")));
    for (const QByteArray& name : {path, "@lumivex-notify-test-" + QByteArray::number(getpid())}) {
        const UniqueFd manager(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const auto address = unixSocketAddress(name);
        ASSERT_EQ(::bind(manager.get(), address->get(), address->length), 0);
        const ScopedEnv socket("NOTIFY_SOCKET", name);
        reportServiceRunning();
        EXPECT_EQ(take(manager), "READY=1");
        reportServiceStopping();
        EXPECT_EQ(take(manager), "STOPPING=1");
    }
    const QByteArray nobody = QFile::encodeName(dir.filePath(QStringLiteral("nobody")));
    for (const QByteArray& name : {QByteArray(), QByteArray("relative"), QByteArray("@"), nobody,
                                   "/" + QByteArray(200, 'x')}) {
        const ScopedEnv socket("NOTIFY_SOCKET", name);
        EXPECT_FALSE(notifyServiceManager("READY=1")) << name.constData();
    }
}

} // namespace
