// Echoes that are never answered, in a network namespace that ignores echo requests and has
// no route beyond loopback (see in-own-network.sh). Nothing waits on the event loop's thread.
#include "model/GlobalSettings.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "net/frmPing.h"
#include "tests/net/EchoTestSupport.h"
#include "tests/session/LinkMonitorTestSession.h"
#include "tests/support/ScriptedHost.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class SilentPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(echoRequired()) << "run through in-own-network.sh"; }
    void TearDown() override { globals() = GlobalSettings{}; }
};

TEST_F(SilentPeer, EachKindTimesOutNotBeforeItsTimeAndKeepsTheLoopRunning) {
    for (const auto kind : {EchoSocket::Kind::Datagram, EchoSocket::Kind::Raw}) {
        EchoService service([kind] { return EchoSocket::open(kind); });
        int loopTurns = 0;
        QTimer turns;
        QObject::connect(&turns, &QTimer::timeout, [&] { ++loopTurns; });
        turns.start(5);
        QElapsedTimer clock;
        clock.start();
        const auto reply = echoAndWait(service, kLoopbackAddress, "Testing 123", 300ms);
        const auto elapsed = clock.elapsed();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, EchoStatus::RequestTimedOut);
        EXPECT_EQ(reply->address, 0u);
        EXPECT_GE(elapsed, 295);
        EXPECT_LT(elapsed, 2000);
        EXPECT_GT(loopTurns, 10) << "the event loop ran while the echo was out";
    }
}

TEST_F(SilentPeer, NoRouteIsNetUnreachableAtOnce) {
    for (const auto kind : {EchoSocket::Kind::Datagram, EchoSocket::Kind::Raw}) {
        EchoService service([kind] { return EchoSocket::open(kind); });
        QElapsedTimer clock;
        clock.start();
        const auto reply = echoAndWait(service, 0x0a090807, "x", 2000ms); // 10.9.8.7
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, EchoStatus::DestNetUnreachable);
        EXPECT_LT(clock.elapsed(), 1000);
    }
}

TEST_F(SilentPeer, PingWindowStaysUsableAndShowsTheTimeOut) {
    globals().PingTimeout = 1; // 200 ms
    ScriptedHost host;
    frmPing window(host);
    window.Text1->setText(QStringLiteral("127.0.0.1"));
    window.Command1->click();
    EXPECT_TRUE(window.busy());
    EXPECT_FALSE(window.Command1->enabled()) << "no second ping while one is out";
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }));
    const QStringList shown{window.Text4[0]->text(), window.Text4[1]->text(),
                            window.Text4[2]->text(), window.Text4[3]->text(),
                            window.Text4[4]->text()};
    EXPECT_EQ(shown, (QStringList{"11010   [IP Request Timed Out]", "0", "0 ms", "0 bytes", ""}));
    EXPECT_TRUE(window.Command1->enabled());
}

TEST_F(SilentPeer, MonitorDropsTheSilentPeerWhileOtherTrafficKeepsMoving) {
    globals().PingEnabled = 1;
    globals().PingFrequency = 0;
    globals().PingTimeout = 4; // 500 ms
    ServerTestSession session;
    LinkMonitor monitor(session);
    QTcpSocket* silent = session.connectClient();
    for (int i = 0; i < 9; ++i)
        monitor.tick();
    ASSERT_EQ(monitor.pendingEchoes(), 1);

    // Another connection moves a megabyte while the echo is out.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }));
    QTcpSocket* receiver = server.nextPendingConnection();
    const QByteArray block(1 << 20, 'd');
    sender.write(block);
    qint64 received = 0;
    ASSERT_TRUE(waitUntil([&] {
        received += receiver->readAll().size();
        return received == block.size();
    }));
    EXPECT_EQ(monitor.pendingEchoes(), 1) << "the transfer finished within the echo time-out";

    ASSERT_TRUE(waitUntil([&] { return !session.closed.empty(); }));
    EXPECT_EQ(session.closed, std::vector<int>{1});
    EXPECT_EQ(session.log,
              QStringList{"Ping Failed - Ping Result = 11010   [IP Request Timed Out]"});
    EXPECT_TRUE(waitUntil([&] { return silent->state() == QAbstractSocket::UnconnectedState; }));
}

} // namespace
