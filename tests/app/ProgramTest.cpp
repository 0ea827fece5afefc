// The built program as a user or systemd runs it: headless, stopped by SIGTERM, and the
// service switches.

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class ProgramTest : public ::testing::Test {
protected:
    void start(const QStringList& arguments,
               const QString& program = QStringLiteral(LUMIVEX_PROGRAM)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("NOTIFY_SOCKET"), home.path(QStringLiteral("notify")));
        for (const QString& name : unset)
            env.remove(name);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
    }
    // Waits for the program's end and returns its exit code (-1 when it did not end).
    int finished() {
        const bool ended = waitUntil([&] { return process.state() == QProcess::NotRunning; });
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    IsolatedHome home;
    QProcess process;
    QStringList unset; // variables the program runs without
};

// Without LUMIVEX_HOME an installed program keeps its data in the user's config folder, even
// when it could write into its installation prefix (root can).
TEST_F(ProgramTest, InstalledHeadlessRunReportsReadyAndSavesOnSigterm) {
    const QString bin = home.path(QStringLiteral("prefix/bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), bin + QStringLiteral("/lumivex")));
    // A datagram socket standing in for systemd's notification socket.
    const UniqueFd notify(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const auto address = unixSocketAddress(QFile::encodeName(home.path(QStringLiteral("notify"))));
    ASSERT_EQ(::bind(notify.get(), address->get(), address->length), 0);
    unset << QStringLiteral("LUMIVEX_HOME") << QStringLiteral("LUMIVEX_PORTS");
    start({}, bin + QStringLiteral("/lumivex"));
    char buffer[64];
    ssize_t got = -1;
    ASSERT_TRUE(
        waitUntil([&] { return (got = ::recv(notify.get(), buffer, sizeof buffer, 0)) > 0; }));
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), "READY=1");
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_EQ(finished(), 0);
    EXPECT_TRUE(readWholeFile(home.path(QStringLiteral("config/lumivex/default.lvx")))
                    .contains("[Session1]\nConnector=0\n"));
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("lumivex")});
}

TEST_F(ProgramTest, ServiceSwitchesInstallAndRemoveTheUnit) {
    QDir().mkpath(home.path(QStringLiteral("systemd")));
    const QString unit = home.path(QStringLiteral("systemd/lumivex.service"));

    start({QStringLiteral("-i")});
    EXPECT_EQ(finished(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("service installed successfully."));
    EXPECT_TRUE(readWholeFile(unit).contains("ExecStart=\"" + QByteArray(LUMIVEX_PROGRAM)));
    // The switch ends the program before anything else: no set file is written.
    EXPECT_FALSE(QFile::exists(home.path(QStringLiteral("home/default.lvx"))));

    start({QStringLiteral("/US")});
    EXPECT_EQ(finished(), 0);
    EXPECT_TRUE(process.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFile::exists(unit));

    start({QStringLiteral("-us")}); // nothing left to remove: reported even when silent
    EXPECT_EQ(finished(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("service did not uninstall successfully."));
}

} // namespace
