// Service manager notifications over a datagram socket that the test binds.

#include "app/ServiceNotify.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A bound datagram socket standing in for the service manager.
class Listener {
public:
    explicit Listener(const QByteArray& name) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(name.size()));
        if (name.startsWith('@'))
            address.sun_path[0] = '\0';
        else
            ++length;
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    ~Listener() { ::close(fd_); }
    bool bound() const { return bound_; }
    // The next waiting datagram; empty when none is waiting.
    QByteArray take() {
        char buffer[256];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

TEST(ServiceNotify, SendsReadyAndStoppingToAPathSocket) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("notify")));
    Listener manager(path);
    ASSERT_TRUE(manager.bound());
    const ScopedEnv socket("NOTIFY_SOCKET", path);

    reportServiceRunning();
    EXPECT_EQ(manager.take(), "READY=1");
    reportServiceStopping();
    EXPECT_EQ(manager.take(), "STOPPING=1");
    EXPECT_EQ(manager.take(), QByteArray());
}

TEST(ServiceNotify, SendsToAnAbstractSocket) {
    const QByteArray name = "@lumivex-notify-test-" + QByteArray::number(::getpid());
    Listener manager(name);
    ASSERT_TRUE(manager.bound());
    const ScopedEnv socket("NOTIFY_SOCKET", name);
    EXPECT_TRUE(notifyServiceManager("READY=1"));
    EXPECT_EQ(manager.take(), "READY=1");
}

TEST(ServiceNotify, QuietWithoutAUsableSocket) {
    QTemporaryDir dir;
    const QByteArray nobody = QFile::encodeName(dir.filePath(QStringLiteral("nobody")));
    const QByteArray tooLong = "/" + QByteArray(200, 'x');
    for (const QByteArray& name :
         {QByteArray(), QByteArray("relative"), QByteArray("@"), nobody, tooLong}) {
        const ScopedEnv socket("NOTIFY_SOCKET", name);
        EXPECT_FALSE(notifyServiceManager("READY=1")) << name.constData();
        reportServiceRunning();
    }
    const ScopedEnv unset("NOTIFY_SOCKET", QByteArray());
    qunsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(notifyServiceManager("READY=1"));
}

} // namespace
