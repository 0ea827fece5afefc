// The built program as a service runs it: a set file with an active virtual port session,
// an application on the port and a TCP client on the network, bytes both ways, the session's
// log on stderr, and after SIGTERM the set saved with the session still marked active.

#include "platform/ComPortNames.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/platform/SocketTestPeers.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(HeadlessBridge, CarriesBytesBothWaysAndComesBackActive) {
    IsolatedHome home;
    const int port = unusedTcpPort();
    const QString set = QStringLiteral("[Lumivex]\nNumSessions=1\n[Session1]\nConnector=15\n"
                                       "CreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\n"
                                       "PortNumber=%1\nAutoActivate=1\n")
                            .arg(port);
    ASSERT_TRUE(writeWholeFile(home.path(QStringLiteral("home/default.lvx")), set.toUtf8()));
    QProcess program;
    program.setProgram(QStringLiteral(LUMIVEX_PROGRAM));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
    program.setProcessEnvironment(env);
    program.start();
    QByteArray log;
    ASSERT_TRUE(waitUntil([&] {
        log += program.readAllStandardError();
        return log.contains("TCP/IP Status: Listening...");
    }));
    EXPECT_TRUE(log.contains("Lumivex Error: Virtual Port COM15 created, "));

    UniqueFd app = openTerminal(comLinkPath(15));
    ASSERT_TRUE(app.valid());
    auto peer = connectedPeer(port);
    ASSERT_EQ(peer->state(), QAbstractSocket::ConnectedState);
    // Until the session has taken the client, bytes from the port have nobody to go to and
    // are dropped (buffering is off): write once it says so.
    ASSERT_TRUE(waitUntil([&] {
        log += program.readAllStandardError();
        return log.contains("TCP/IP Status: (1)Connected");
    }));
    const QByteArray toPeer = allByteValues().repeated(64);
    ASSERT_TRUE(writeAll(app.get(), toPeer));
    EXPECT_EQ(readUntil(*peer, toPeer.size()), toPeer);
    const QByteArray toApp = patternBytes(100 * 1000);
    peer->write(toApp);
    EXPECT_EQ(readExactly(app.get(), toApp.size()), toApp);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(
        readWholeFile(home.path(QStringLiteral("home/default.lvx"))).contains("AutoActivate=1"));
    EXPECT_FALSE(QFileInfo(comLinkPath(15)).isSymLink())
        << "the virtual port goes with the program";
}

} // namespace
