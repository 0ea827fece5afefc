// The link monitor on real loopback connections. Every loopback address answers an echo, so
// failures come from a scripted echo; one case uses the real echo of this machine.
#include "model/GlobalSettings.h"
#include "net/EchoService.h"
#include "net/EchoStatus.h"
#include "tests/session/LinkMonitorTestSession.h"

#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

// An echo that records whom it was asked to ping and ends each request when the test says.
struct ScriptedEcho {
    struct Request {
        QString address;
        QPointer<QObject> context;
        EchoDone done;
    };
    LinkMonitor::KeepAlive function() {
        return [this](const QString& address, QObject* context, EchoDone done) {
            requests.push_back({address, context, std::move(done)});
        };
    }
    // Ends request i with status, from the event loop as a real echo would.
    void end(size_t i, int status, bool unavailable = false) {
        EchoReply reply;
        reply.status = status;
        reply.echoUnavailable = unavailable;
        EchoService::deliverLater(requests.at(i).context, requests.at(i).done, reply);
        QCoreApplication::processEvents();
    }
    std::vector<Request> requests;
};

// Ticks monitor until a pass goes out: the number of ticks it took, or -1 within bound.
int ticksToPass(LinkMonitor& monitor, const ScriptedEcho& echo, int bound = 9) {
    const size_t before = echo.requests.size();
    for (int i = 1; i <= bound; ++i) {
        monitor.tick();
        if (echo.requests.size() != before)
            return i;
    }
    return -1;
}

class LinkMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        globals().PingEnabled = 1;
        globals().PingFrequency = 0; // 9 ticks
        monitor.setKeepAlive(echo.function());
    }
    void TearDown() override { globals() = GlobalSettings{}; }
    int ticksToPass(int bound = 9) { return ::ticksToPass(monitor, echo, bound); }
    // A fresh pass over the connected peers.
    void startPass() {
        session.active = true;
        monitor.reset();
        echo.requests.clear();
        ASSERT_EQ(ticksToPass(), 9);
    }

    ServerTestSession session;
    ScriptedEcho echo;
    LinkMonitor monitor{session};
};

TEST_F(LinkMonitorTest, QuietTicksBeforeAPassFollowThePingFrequency) {
    session.connectClient();
    const std::pair<int, int> rows[] = {{0, 9}, {2, 91}, {-3, 9}, {14, 1183}};
    for (const auto& [frequency, expected] : rows) {
        globals().PingFrequency = frequency;
        monitor.reset();
        EXPECT_EQ(ticksToPass(2000), expected) << "PingFrequency " << frequency;
        echo.end(echo.requests.size() - 1, 0);
        EXPECT_EQ(monitor.PingTicks(), 0);
    }
    EXPECT_TRUE(session.closed.empty());
}

TEST_F(LinkMonitorTest, GuardsKeepTheCountStillAndDataArrivalRestartsIt) {
    session.connectClient();
    for (const bool active : {false, true}) { // inactive or UDP; pings off
        session.active = active;
        globals().PingEnabled = active ? 0 : 1;
        for (int i = 0; i < 100; ++i)
            monitor.tick();
        EXPECT_TRUE(monitor.PingTicks() == 0 && echo.requests.empty()) << active;
    }
    globals().PingEnabled = 1;
    ASSERT_EQ(ticksToPass(8), -1);
    monitor.dataArrived();
    EXPECT_EQ(ticksToPass(8), -1);
    EXPECT_EQ(ticksToPass(1), 1);
}

TEST_F(LinkMonitorTest, OnePassPingsEachConnectedPeerInIndexOrderAndClosesOnlyTheFailed) {
    QTcpSocket* first = session.connectClient();
    QTcpSocket* second = session.connectClient();
    QTcpSocket* third = session.connectClient();
    ASSERT_EQ(session.connectedCount(), 3);
    EXPECT_EQ(ticksToPass(), 9);
    ASSERT_EQ(echo.requests.size(), 3u) << "one echo per connected peer, the listener not";
    EXPECT_EQ(echo.requests[0].address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ticksToPass(50), -1) << "no new pass while this one is out";

    setCurrentPingTimeout(1000);
    echo.end(2, 0);
    echo.end(1, EchoStatus::RequestTimedOut);
    echo.end(0, 0);
    EXPECT_EQ(session.closed, std::vector<int>{2});
    EXPECT_EQ(session.log.size(), 1);
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(first->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(third->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(ticksToPass(), 9) << "the count runs again once the pass has ended";
}

TEST_F(LinkMonitorTest, ALateFailureNeverClosesTheConnectionThatTookThePlace) {
    QTcpSocket* old = session.connectClient();
    startPass();
    old->abort();
    ASSERT_TRUE(waitUntil([&] { return session.array.at(1).State() != 7; }));
    session.array.at(1).Close();
    QTcpSocket* next = session.connectClient();
    ASSERT_EQ(session.array.at(1).State(), 7) << "element 1 reused";
    echo.end(0, EchoStatus::RequestTimedOut);
    EXPECT_TRUE(session.closed.empty() && session.log.isEmpty());
    EXPECT_EQ(next->state(), QAbstractSocket::ConnectedState);
}

TEST_F(LinkMonitorTest, FailuresAfterDeactivationOrResetAreIgnored) {
    session.connectClient();
    for (const bool deactivate : {true, false}) {
        startPass();
        if (deactivate)
            session.active = false;
        else
            monitor.reset();
        echo.end(0, EchoStatus::DestHostUnreachable);
        EXPECT_TRUE(session.closed.empty() && session.log.isEmpty()) << deactivate;
    }
}

TEST_F(LinkMonitorTest, NoEchoFacilityIsLoggedOncePerActivationAndKeepsTheConnections) {
    session.connectClient();
    session.connectClient();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(ticksToPass(), 9);
        echo.end(echo.requests.size() - 2, EchoStatus::GeneralFailure, true);
        echo.end(echo.requests.size() - 1, EchoStatus::GeneralFailure, true);
    }
    EXPECT_TRUE(session.closed.empty());
    EXPECT_EQ(session.connectedCount(), 2);
    EXPECT_EQ(session.log.size(), 1);
}

// A client session: element 0 is the connection; the close handler closes it and the session
// connects again later (its 5-second timer, run here at once).
TEST_F(LinkMonitorTest, AClientDroppedByAFailedEchoIsPingedAgainOnceReconnected) {
    ArrayTestSession client;
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket* peer = nullptr;
    const auto connect = [&] {
        client.array.at(0).setRemoteHost(QStringLiteral("127.0.0.1"));
        client.array.at(0).setRemotePort(server.serverPort());
        client.array.at(0).Connect();
        ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }));
        peer = server.nextPendingConnection();
        ASSERT_TRUE(waitUntil([&] { return client.array.at(0).State() == 7; }));
    };
    connect();
    LinkMonitor clientMonitor(client);
    clientMonitor.setKeepAlive(echo.function());
    ASSERT_EQ(::ticksToPass(clientMonitor, echo), 9);
    echo.end(0, EchoStatus::RequestTimedOut);
    EXPECT_EQ(client.closed, std::vector<int>{0});
    EXPECT_TRUE(waitUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }));
    connect(); // the session's reconnect
    EXPECT_EQ(::ticksToPass(clientMonitor, echo), 9);
}

} // namespace
