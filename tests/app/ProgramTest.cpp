// The built program as a user or systemd runs it: headless, stopped by SIGTERM, and the
// service switches.

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path)
        : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        const auto address = unixSocketAddress(QFile::encodeName(path));
        EXPECT_TRUE(address && ::bind(fd_.get(), address->get(), address->length) == 0);
    }
    QByteArray receive() {
        char buffer[256];
        const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, static_cast<int>(n)) : QByteArray();
    }
    // Waits for the next message, within the bound.
    QByteArray next() {
        QByteArray message;
        waitUntil([&] { return !(message = receive()).isEmpty(); });
        return message;
    }

private:
    UniqueFd fd_;
};

class ProgramTest : public ::testing::Test {
protected:
    QProcess* start(const QStringList& arguments,
                    const QString& program = QStringLiteral(LUMIVEX_PROGRAM)) {
        process.setProgram(program);
        process.setArguments(arguments);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("NOTIFY_SOCKET"), home.path(QStringLiteral("notify")));
        for (const QString& name : unset)
            env.remove(name);
        process.setProcessEnvironment(env);
        process.start();
        return &process;
    }
    bool finished() {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; });
    }

    IsolatedHome home;
    QProcess process;
    QStringList unset; // variables the program runs without
};

TEST_F(ProgramTest, HeadlessRunReportsReadyAndSavesOnSigterm) {
    NotifySocket notify(home.path(QStringLiteral("notify")));
    start({});
    EXPECT_EQ(notify.next(), "READY=1");
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

// Without LUMIVEX_HOME an installed program keeps its data in the user's config folder, even
// when it could write into its installation prefix (root can).
TEST_F(ProgramTest, AnInstalledProgramKeepsItsDataOutOfItsPrefix) {
    const QString bin = home.path(QStringLiteral("prefix/bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), bin + QStringLiteral("/lumivex")));
    NotifySocket notify(home.path(QStringLiteral("notify")));
    unset << QStringLiteral("LUMIVEX_HOME") << QStringLiteral("LUMIVEX_PORTS");
    start({}, bin + QStringLiteral("/lumivex"));
    ASSERT_EQ(notify.next(), "READY=1");
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(finished());
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(home.path(QStringLiteral("config/lumivex/default.lvx"))));
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("lumivex")});
}

} // namespace
