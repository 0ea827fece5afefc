// The link monitor on real loopback connections. Every loopback address answers an echo, so
// failures come from a scripted echo; one case uses the real echo of this machine.
#include "model/GlobalSettings.h"
#include "net/EchoService.h"
#include "net/EchoStatus.h"
#include "tests/session/LinkMonitorTestSession.h"

#include <QTcpServer>
#include <gtest/gtest.h>
#include <map>

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

class LinkMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        globals().PingEnabled = 1;
        globals().PingFrequency = 0; // 9 ticks
        monitor.setKeepAlive(echo.function());
    }
    void TearDown() override { globals() = GlobalSettings{}; }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            monitor.tick();
    }
    // Ticks until a pass goes out; the number of ticks it took, or -1 within the bound.
    int ticksToPass(int bound) {
        const size_t before = echo.requests.size();
        for (int i = 1; i <= bound; ++i) {
            monitor.tick();
            if (echo.requests.size() != before)
                return i;
        }
        return -1;
    }

    ServerTestSession session;
    ScriptedEcho echo;
    LinkMonitor monitor{session};
};

TEST_F(LinkMonitorTest, QuietTicksBeforeAPassFollowThePingFrequency) {
    session.connectClient();
    const std::pair<int, int> rows[] = {{0, 9},     {1, 18}, {2, 91},   {3, 182},
                                        {13, 1092}, {-3, 9}, {14, 1183}};
    for (const auto& [frequency, expected] : rows) {
        globals().PingFrequency = frequency;
        monitor.reset();
        EXPECT_EQ(ticksToPass(2000), expected) << "PingFrequency " << frequency;
        echo.end(echo.requests.size() - 1, 0);
        EXPECT_EQ(monitor.PingTicks(), 0);
    }
    EXPECT_TRUE(session.closed.empty());
}

TEST_F(LinkMonitorTest, GuardsKeepTheCountStill) {
    session.connectClient();
    const struct {
        const char* name;
        bool active;
        int enabled;
    } rows[] = {{"inactive (or UDP)", false, 1}, {"pings off", true, 0}};
    for (const auto& row : rows) {
        monitor.reset();
        session.active = row.active;
        globals().PingEnabled = row.enabled;
        ticks(100);
        EXPECT_EQ(monitor.PingTicks(), 0) << row.name;
        EXPECT_TRUE(echo.requests.empty()) << row.name;
    }
}

TEST_F(LinkMonitorTest, DataArrivalStartsTheQuietPeriodAgain) {
    session.connectClient();
    ticks(8);
    monitor.dataArrived();
    ticks(8);
    EXPECT_TRUE(echo.requests.empty());
    EXPECT_EQ(ticksToPass(9), 1);
}

TEST_F(LinkMonitorTest, OnePassPingsEachConnectedPeerInIndexOrderAndClosesOnlyTheFailed) {
    QTcpSocket* first = session.connectClient();
    QTcpSocket* second = session.connectClient();
    QTcpSocket* third = session.connectClient();
    ASSERT_EQ(session.connectedCount(), 3);
    EXPECT_EQ(ticksToPass(9), 9);
    ASSERT_EQ(echo.requests.size(), 3u) << "one echo per connected peer, the listener not";
    for (const auto& request : echo.requests)
        EXPECT_EQ(request.address, QStringLiteral("127.0.0.1"));
    ticks(50);
    EXPECT_EQ(echo.requests.size(), 3u) << "no new pass while this one is out";
    EXPECT_EQ(monitor.PingTicks(), 0);

    setCurrentPingTimeout(1000);
    echo.end(2, 0);
    echo.end(1, EchoStatus::RequestTimedOut);
    echo.end(0, 0);
    EXPECT_EQ(session.closed, std::vector<int>{2});
    EXPECT_EQ(session.log,
              QStringList{"Ping Failed - Ping Result = 11010   [IP Request Timed Out]"});
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }))
        << "the failed peer is disconnected";
    EXPECT_EQ(first->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(third->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(session.array.at(1).State(), 7);
    EXPECT_EQ(session.array.at(3).State(), 7);
    // The count runs again once the pass has ended.
    EXPECT_EQ(ticksToPass(9), 9);
    EXPECT_EQ(echo.requests.size(), 5u);
}

TEST_F(LinkMonitorTest, ALateFailureNeverClosesTheConnectionThatTookThePlace) {
    const struct {
        const char* name;
        bool peerCloses; // the peer goes (a close event) or the session closes it (none)
    } rows[] = {{"peer went", true}, {"session closed it", false}};
    for (const auto& row : rows) {
        QTcpSocket* old = session.connectClient();
        ASSERT_EQ(session.array.at(1).State(), 7) << row.name;
        echo.requests.clear();
        monitor.reset();
        ASSERT_EQ(ticksToPass(9), 9) << row.name;
        if (row.peerCloses) {
            old->abort();
            ASSERT_TRUE(waitUntil([&] { return session.array.at(1).State() != 7; }));
        }
        session.array.at(1).Close();
        QTcpSocket* next = session.connectClient();
        ASSERT_EQ(session.array.at(1).State(), 7) << row.name << ": element 1 reused";
        echo.end(0, EchoStatus::RequestTimedOut);
        EXPECT_TRUE(session.closed.empty()) << row.name;
        EXPECT_TRUE(session.log.isEmpty()) << row.name;
        EXPECT_EQ(next->state(), QAbstractSocket::ConnectedState) << row.name;
        next->abort();
        ASSERT_TRUE(waitUntil([&] { return session.array.at(1).State() != 7; }));
        session.array.at(1).Close();
    }
}

TEST_F(LinkMonitorTest, FailuresAfterDeactivationOrResetAreIgnored) {
    session.connectClient();
    const struct {
        const char* name;
        std::function<void()> change;
    } rows[] = {
        {"session went inactive",
         [&] {
             session.active = false;
         }},
        {"monitor was reset",
         [&] {
             monitor.reset();
         }},
    };
    for (const auto& row : rows) {
        session.active = true;
        monitor.reset();
        echo.requests.clear();
        ASSERT_EQ(ticksToPass(9), 9) << row.name;
        row.change();
        echo.end(0, EchoStatus::DestHostUnreachable);
        EXPECT_TRUE(session.closed.empty()) << row.name;
        EXPECT_TRUE(session.log.isEmpty()) << row.name;
    }
}

TEST_F(LinkMonitorTest, NoEchoFacilityIsLoggedOncePerActivationAndKeepsTheConnections) {
    session.connectClient();
    session.connectClient();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(ticksToPass(9), 9);
        const size_t last = echo.requests.size();
        echo.end(last - 2, EchoStatus::GeneralFailure, true);
        echo.end(last - 1, EchoStatus::GeneralFailure, true);
    }
    EXPECT_TRUE(session.closed.empty());
    EXPECT_EQ(session.connectedCount(), 2);
    ASSERT_EQ(session.log.size(), 1);
    EXPECT_TRUE(
        session.log[0].startsWith("Ping Failed - Ping Result = 11050   [IP General Failure]"));
    monitor.reset(); // the next activation
    ASSERT_EQ(ticksToPass(9), 9);
    echo.end(echo.requests.size() - 1, EchoStatus::GeneralFailure, true);
    EXPECT_EQ(session.log.size(), 2);
}

// A client session: element 0 is the connection; the close handler closes it and the session
// connects again later (its 5-second timer, run here at once).
class ClientTestSession : public LinkMonitorSession {
public:
    bool connect() {
        array.at(0).setRemoteHost(QStringLiteral("127.0.0.1"));
        array.at(0).setRemotePort(server.serverPort());
        array.at(0).Connect();
        return waitUntil([&] { return server.hasPendingConnections(); }) &&
               (peers.push_back(server.nextPendingConnection()), true) &&
               waitUntil([&] { return array.at(0).State() == 7; });
    }
    bool monitorActive() const override { return true; }
    int maxSocketIndex() const override { return array.maxIndex(); }
    Socket& socket(int index) override { return array.at(index); }
    void closeSocket(int index) override {
        closed.push_back(index);
        array.at(index).Close();
    }
    void logError(const QString& description) override { log << description; }

    QTcpServer server;
    SocketArray array;
    std::vector<QTcpSocket*> peers;
    std::vector<int> closed;
    QStringList log;
};

TEST_F(LinkMonitorTest, AClientDroppedByAFailedEchoIsPingedAgainOnceReconnected) {
    ClientTestSession client;
    ASSERT_TRUE(client.server.listen(QHostAddress::LocalHost));
    ASSERT_TRUE(client.connect());
    LinkMonitor clientMonitor(client);
    clientMonitor.setKeepAlive(echo.function());
    for (int i = 0; i < 9; ++i)
        clientMonitor.tick();
    ASSERT_EQ(echo.requests.size(), 1u);
    echo.end(0, EchoStatus::RequestTimedOut);
    EXPECT_EQ(client.closed, std::vector<int>{0});
    ASSERT_EQ(client.log.size(), 1);
    EXPECT_TRUE(
        waitUntil([&] { return client.peers[0]->state() == QAbstractSocket::UnconnectedState; }));

    ASSERT_TRUE(client.connect()) << "the session's reconnect";
    for (int i = 0; i < 9; ++i)
        clientMonitor.tick();
    ASSERT_EQ(echo.requests.size(), 2u);
    echo.end(1, 0);
    EXPECT_EQ(client.closed.size(), 1u);
    EXPECT_EQ(client.array.at(0).State(), 7);
}

TEST(LinkMonitorRealEcho, LoopbackPeersAreKeptWhetherOrNotThisMachineCanPing) {
    globals().PingEnabled = 1;
    globals().PingFrequency = 0;
    ServerTestSession session;
    LinkMonitor monitor(session);
    session.connectClient();
    session.connectClient();
    for (int i = 0; i < 9; ++i)
        monitor.tick();
    ASSERT_EQ(monitor.pendingEchoes(), 2);
    ASSERT_TRUE(waitUntil([&] { return monitor.pendingEchoes() == 0; }));
    EXPECT_TRUE(session.closed.empty());
    EXPECT_EQ(session.connectedCount(), 2);
    if (EchoService::instance().available())
        EXPECT_TRUE(session.log.isEmpty());
    else
        EXPECT_EQ(session.log.size(), 1) << "no echo socket: said once, nothing closed";
    globals() = GlobalSettings{};
}

} // namespace
