// The built program as a user or systemd runs it: headless, stopped by SIGTERM, and the
// service switches.

#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), name.size());
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~NotifySocket() { ::close(fd_); }
    QByteArray receive() {
        char buffer[256];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, static_cast<int>(n)) : QByteArray();
    }

private:
    int fd_ = -1;
};

class ProgramTest : public ::testing::Test {
protected:
    QProcess* start(const QStringList& arguments) {
        process.setProgram(QStringLiteral(LUMIVEX_PROGRAM));
        process.setArguments(arguments);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("NOTIFY_SOCKET"), home.path(QStringLiteral("notify")));
        process.setProcessEnvironment(env);
        process.start();
        return &process;
    }
    bool finished() {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; });
    }

    IsolatedHome home;
    QProcess process;
};

TEST_F(ProgramTest, HeadlessRunReportsReadyAndSavesOnSigterm) {
    NotifySocket notify(home.path(QStringLiteral("notify")));
    start({});
    QByteArray message;
    ASSERT_TRUE(waitUntil([&] { return !(message = notify.receive()).isEmpty(); }));
    EXPECT_EQ(message, "READY=1");
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(finished());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray saved = readWholeFile(home.path(QStringLiteral("home/default.lvx")));
    EXPECT_TRUE(saved.startsWith("[Lumivex]\nMainLeft=1000\nMainTop=1000\nMainWidth=7000\n"))
        << saved.constData();
    EXPECT_TRUE(saved.contains("[Session1]\nConnector=0\n"));
}

TEST_F(ProgramTest, ServiceSwitchesInstallAndRemoveTheUnit) {
    QDir().mkpath(home.path(QStringLiteral("systemd")));
    const QString unit = home.path(QStringLiteral("systemd/lumivex.service"));

    start({QStringLiteral("-i")});
    ASSERT_TRUE(finished());
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("service installed successfully."));
    const QByteArray text = readWholeFile(unit);
    EXPECT_TRUE(text.contains("Description=RS232 to TCP/IP Converter"));
    EXPECT_TRUE(text.contains("Wants=network-online.target"));
    EXPECT_TRUE(text.contains("ExecStart=\"" + QByteArray(LUMIVEX_PROGRAM)));
    // The switch ends the program before anything else: no set file is written.
    EXPECT_FALSE(QFile::exists(home.path(QStringLiteral("home/default.lvx"))));

    start({QStringLiteral("/US")});
    ASSERT_TRUE(finished());
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFile::exists(unit));

    start({QStringLiteral("-us")}); // nothing left to remove: reported even when silent
    ASSERT_TRUE(finished());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("service did not uninstall successfully."));
}

} // namespace
