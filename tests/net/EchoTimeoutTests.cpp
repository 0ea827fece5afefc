// Echoes that are never answered, in a network namespace that ignores echo requests and has
// no route beyond loopback (see in-own-network.sh). Nothing waits on the event loop's thread.
#include "model/GlobalSettings.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "tests/net/EchoTestSupport.h"
#include "tests/session/LinkMonitorTestSession.h"

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

TEST_F(SilentPeer, EachKindTimesOutNotBeforeItsTimeAndNoRouteFailsAtOnce) {
    for (const auto kind : {EchoSocket::Kind::Datagram, EchoSocket::Kind::Raw}) {
        EchoService service([kind] { return EchoSocket::open(kind); });
        int loopTurns = 0;
        QTimer turns;
        QObject::connect(&turns, &QTimer::timeout, [&] { ++loopTurns; });
        turns.start(5);
        QElapsedTimer clock;
        clock.start();
        auto reply = echoAndWait(service, kLoopbackAddress, "Testing 123", 300ms);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, EchoStatus::RequestTimedOut);
        EXPECT_GE(clock.elapsed(), 295);
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_GT(loopTurns, 10) << "the event loop ran while the echo was out";

        clock.restart();
        reply = echoAndWait(service, 0x0a090807, "x", 2000ms); // 10.9.8.7: no route
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, EchoStatus::DestNetUnreachable);
        EXPECT_LT(clock.elapsed(), 1000);
    }
}

TEST_F(SilentPeer, MonitorDropsTheSilentPeer) {
    globals().PingEnabled = 1;
    globals().PingFrequency = 0;
    globals().PingTimeout = 4; // 500 ms
    ServerTestSession session;
    LinkMonitor monitor(session);
    QTcpSocket* silent = session.connectClient();
    for (int i = 0; i < 9; ++i)
        monitor.tick();
    ASSERT_EQ(monitor.pendingEchoes(), 1);
    ASSERT_TRUE(waitUntil([&] { return !session.closed.empty(); }));
    EXPECT_EQ(session.closed, std::vector<int>{1});
    EXPECT_EQ(session.log,
              QStringList{"Ping Failed - Ping Result = 11010   [IP Request Timed Out]"});
    EXPECT_TRUE(waitUntil([&] { return silent->state() == QAbstractSocket::UnconnectedState; }));
}

} // namespace
