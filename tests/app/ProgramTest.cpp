// The built program as a user or systemd runs it.

#include "platform/linux/UnixSocketAddress.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/platform/SocketTestPeers.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

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
    int finished() {
        const bool ended = waitUntil([&] { return process.state() == QProcess::NotRunning; });
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    int terminated() {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        return finished();
    }
    bool logged(const char* text) {
        return waitUntil([&] {
            log += process.readAllStandardError();
            return log.contains(text);
        });
    }

    IsolatedHome home;
    QProcess process;
    QByteArray log;
    QStringList unset; // variables the program runs without
};

// Installed, the program keeps its data in the config folder even if it may write its prefix.
// Its virtual port session carries bytes between an application and a TCP client both ways,
// and SIGTERM saves it active and takes the port away.
TEST_F(ProgramTest, InstalledHeadlessBridgeCarriesBytesBothWaysAndComesBackActive) {
    const QString bin = home.path(QStringLiteral("prefix/bin"));
    ASSERT_TRUE(QDir().mkpath(bin) &&
                QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), bin + QStringLiteral("/lumivex")));
    const QString data = home.path(QStringLiteral("config/lumivex"));
    const int port = unusedTcpPort();
    ASSERT_TRUE(
        QDir().mkpath(data) &&
        QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
        writeWholeFile(data + QStringLiteral("/default.lvx"),
                       "[Lumivex]\nNumSessions=1\n[Session1]\nConnector=15\n"
                       "CreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=" +
                           QByteArray::number(port) + "\nAutoActivate=1\n"));
    const UniqueFd notify(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const UnixSocketPath address(QFile::encodeName(home.path(QStringLiteral("notify"))));
    ASSERT_EQ(::bind(notify.get(), address.get(), address.length()), 0);
    unset << QStringLiteral("LUMIVEX_HOME") << QStringLiteral("LUMIVEX_PORTS");
    start({}, bin + QStringLiteral("/lumivex"));
    char buffer[64];
    ssize_t got = -1;
    ASSERT_TRUE(
        waitUntil([&] { return (got = ::recv(notify.get(), buffer, sizeof buffer, 0)) > 0; }));
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), "READY=1");
    ASSERT_TRUE(logged("TCP/IP Status: Listening..."));
    EXPECT_TRUE(log.contains("Lumivex Error: Virtual Port COM15 created, "));

    const QString link = data + QStringLiteral("/ports/COM15");
    UniqueFd app = openTerminal(link);
    ASSERT_TRUE(app.valid());
    auto peer = connectedPeer(port);
    ASSERT_EQ(peer->state(), QAbstractSocket::ConnectedState);
    // Bytes from the port before the session has taken the client are dropped (no buffering).
    ASSERT_TRUE(logged("TCP/IP Status: (1)Connected"));
    const QByteArray toPeer = allByteValues().repeated(64);
    ASSERT_TRUE(writeAll(app.get(), toPeer));
    EXPECT_EQ(readUntil(*peer, toPeer.size()), toPeer);
    const QByteArray toApp = patternBytes(100 * 1000);
    peer->write(toApp);
    EXPECT_EQ(readExactly(app.get(), toApp.size()), toApp);

    EXPECT_EQ(terminated(), 0);
    EXPECT_TRUE(readWholeFile(data + QStringLiteral("/default.lvx")).contains("AutoActivate=1"));
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the port goes with the program";
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("lumivex")});
}

// Whoever may change the program would run as the service: only a program root alone can
// change is installed (an ordinary user's own copy never is).
TEST_F(ProgramTest, ServiceSwitchesInstallOnlyAProgramRootAloneCanChange) {
    QDir().mkpath(home.path(QStringLiteral("systemd")));
    const QString unit = home.path(QStringLiteral("systemd/lumivex.service"));
    const QString installed = home.path(QStringLiteral("bin/lumivex"));
    const QString open = home.path(QStringLiteral("open/lumivex"));
    for (const QString& copy : {installed, open})
        ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).path()) &&
                    QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), copy));
    ASSERT_TRUE(QFile::setPermissions(open, QFile::permissions(open) | QFile::WriteOther));

    start({QStringLiteral("-i")}, open);
    EXPECT_EQ(finished(), 1);
    const QByteArray refusal = process.readAllStandardError();
    EXPECT_TRUE(refusal.contains("service did not install successfully.") &&
                refusal.contains("cmake --install"))
        << refusal.constData();
    EXPECT_FALSE(QFile::exists(unit));
    start({QStringLiteral("-us")}); // nothing to remove: reported even when silent
    EXPECT_EQ(finished(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("service did not uninstall successfully."));
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root's programs are installed";

    start({QStringLiteral("-i")}, installed);
    EXPECT_EQ(finished(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("service installed successfully."));
    EXPECT_TRUE(readWholeFile(unit).contains("ExecStart=\"" + QFile::encodeName(installed)));
    // The switch ends the program before anything else: no set file is written.
    EXPECT_FALSE(QFile::exists(home.path(QStringLiteral("home/default.lvx"))));
    start({QStringLiteral("/US")});
    EXPECT_EQ(finished(), 0);
    EXPECT_TRUE(process.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFile::exists(unit));
}

} // namespace
