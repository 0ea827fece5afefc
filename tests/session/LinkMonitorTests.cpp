// The link monitor on real loopback connections, with a scripted echo (every loopback address
// answers a real one; the silent peer runs in its own network, see tests/net).
#include "model/GlobalSettings.h"
#include "net/EchoService.h"
#include "net/EchoStatus.h"
#include "tests/session/LinkMonitorTestSession.h"

#include <gtest/gtest.h>

namespace {

class LinkMonitorTest : public ::testing::Test {
protected:
    // An echo that records whom it was asked to ping and ends when the test says.
    struct Request {
        QString address;
        QPointer<QObject> context;
        EchoDone done;
    };
    LinkMonitorTest() {
        globals().PingEnabled = 1;
        globals().PingFrequency = 0; // 9 ticks
        monitor.setKeepAlive([this](const QString& address, QObject* context, EchoDone done) {
            requests.push_back({address, context, std::move(done)});
        });
    }
    ~LinkMonitorTest() override { globals() = GlobalSettings{}; }
    // Ends request i with status, from the event loop as a real echo would.
    void end(size_t i, int status, bool unavailable = false) {
        EchoReply reply;
        reply.status = status;
        reply.echoUnavailable = unavailable;
        EchoService::deliverLater(requests.at(i).context, requests.at(i).done, reply);
        QCoreApplication::processEvents();
    }
    // Ticks until a pass goes out: the number of ticks it took, or -1 within bound.
    int ticksToPass(int bound = 9) {
        const size_t before = requests.size();
        for (int i = 1; i <= bound; ++i) {
            monitor.tick();
            if (requests.size() != before)
                return i;
        }
        return -1;
    }
    ServerTestSession session;
    LinkMonitor monitor{session};
    std::vector<Request> requests;
};

// Out of range, the frequency means the shortest wait; the count stands still while the
// session is inactive or pings are off, and data arriving starts it again.
TEST_F(LinkMonitorTest, TheQuietCountKeepsItsGuardsAndStartsAgainOnData) {
    session.connectClient();
    globals().PingFrequency = -3;
    EXPECT_EQ(ticksToPass(100), 9);
    end(0, 0);
    for (const bool active : {false, true}) {
        session.active = active;
        globals().PingEnabled = active ? 0 : 1;
        EXPECT_EQ(std::pair(ticksToPass(100), monitor.PingTicks()), std::pair(-1, 0)) << active;
    }
    globals().PingEnabled = 1;
    ASSERT_EQ(ticksToPass(8), -1);
    monitor.dataArrived();
    EXPECT_EQ(ticksToPass(9), 9);
}

// Without an echo facility a pass closes nothing and is logged once per activation.
TEST_F(LinkMonitorTest, OnePassPingsEachConnectedPeerInIndexOrderAndClosesOnlyTheFailed) {
    QTcpSocket* first = session.connectClient();
    QTcpSocket* second = session.connectClient();
    QTcpSocket* third = session.connectClient();
    EXPECT_EQ(ticksToPass(), 9);
    ASSERT_EQ(requests.size(), 3u) << "one echo per connected peer, the listener not";
    EXPECT_EQ(requests[0].address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ticksToPass(50), -1) << "no new pass while this one is out";

    setCurrentPingTimeout(1000);
    end(2, 0);
    end(1, EchoStatus::RequestTimedOut);
    end(0, 0);
    EXPECT_EQ(std::pair(session.closed, session.log.size()),
              std::pair(std::vector<int>{2}, qsizetype(1)));
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(std::pair(first->state(), third->state()),
              std::pair(QAbstractSocket::ConnectedState, QAbstractSocket::ConnectedState));
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(ticksToPass(), 9) << "the count runs again once the pass has ended";
        end(requests.size() - 2, EchoStatus::GeneralFailure, true);
        end(requests.size() - 1, EchoStatus::GeneralFailure, true);
    }
    EXPECT_EQ(std::tuple(session.closed.size(), session.connectedCount(), session.log.size()),
              std::tuple(1u, 2, 2));
}

// A failure that ends after a deactivation, a reset or the connection's replacement on the
// same element closes and logs nothing.
TEST_F(LinkMonitorTest, StaleFailuresAreIgnored) {
    QTcpSocket* client = session.connectClient();
    for (const int change : {0, 1, 2}) {
        session.active = true;
        monitor.reset();
        requests.clear();
        ASSERT_EQ(ticksToPass(), 9);
        if (change == 0) {
            session.active = false;
        } else if (change == 1) {
            monitor.reset();
        } else {
            client->abort();
            ASSERT_TRUE(waitUntil([&] { return session.array.at(1).State() != 7; }));
            session.array.at(1).Close();
            client = session.connectClient();
            ASSERT_EQ(session.array.at(1).State(), 7) << "element 1 reused";
        }
        end(0, EchoStatus::RequestTimedOut);
        EXPECT_TRUE(session.closed.empty() && session.log.isEmpty()) << change;
    }
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);
}

} // namespace
