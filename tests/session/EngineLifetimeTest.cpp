// What belongs to one activation ends with it: nothing of an old activation acts on a new one
// or on an inactive session, and idle sessions let the shared heartbeat sleep.
#include "tests/session/SessionFixture.h"

namespace {

class EngineLifetimeTest : public SessionFixture {};

// A peer that closed while its bytes were held back neither closes the connection of a quick
// re-activation nor keeps a deactivated client reconnecting.
TEST_F(EngineLifetimeTest, NothingOfAnActivationActsOnTheNext) {
    smallHeldBuffers();
    PeerServer peer;
    virtualClient(30, peer.port());
    // The peer sends more than the buffer holds and closes: the session's end closes too.
    const auto closesWithBytesHeld = [&](QTcpSocket* connection) {
        ASSERT_TRUE(connection);
        connection->write(patternBytes(32 * 1024));
        connection->disconnectFromHost();
        ASSERT_TRUE(waitUntil([&] { return doc->SerialOutBufferCount() == 1024; }));
        ASSERT_TRUE(waitUntil([&] { return socket(0).State() != 7; }));
    };
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    closesWithBytesHeld(first.get());

    activate(); // De-Activate and Activate again at once
    activate();
    std::unique_ptr<QTcpSocket> second(peer.nextConnection());
    ASSERT_TRUE(second && stateBecomes(0, 7));
    ticks(3);
    EXPECT_EQ(std::tuple(socket(0).State(), isReconnecting(), status(1)),
              std::tuple(7, false, QStringLiteral("TCP/IP Status: Connected")));
    closesWithBytesHeld(second.get());
    activate();
    ticks(3);
    doc->Timer1_Timer();
    EXPECT_EQ(socket(0).State(), 0) << "an inactive client connects nowhere";
    EXPECT_TRUE(doc->bridge() == nullptr && doc->SerialOutBufferCount() == 0);
}

// Sessions with an application on the port and a client connected sleep once their lights are
// out (with pings on, until the next ping pass is due), and bytes an inactive session once held
// do not keep the heartbeat going.
TEST_F(EngineLifetimeTest, IdleSessionsLetTheHeartbeatSleep) {
    SessionHeartbeat& heartbeat = SessionHeartbeat::instance();
    std::vector<std::unique_ptr<frmDocument>> sessions;
    std::vector<UniqueFd> applications;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int n = 31; n < 41; ++n) {
        virtualServer(n);
        applications.push_back(openApplication(n));
        clients.push_back(connectedPeer(listeningPort()));
        ASSERT_TRUE(writeAll(applications.back().get(), "up"));
        EXPECT_EQ(readUntil(*clients.back(), 2), QByteArray("up"));
        sessions.push_back(std::move(doc));
        renew();
    }
    client(unusedTcpPort());
    doc->BufferSerData->setValue(1);
    dev = device(41);
    serialPort(41);
    activate();
    fromDevice("held");
    ASSERT_TRUE(waitUntil([&] { return doc->MyBufferCount() == 4; }));
    activate();

    heartbeat.hold(false);
    heartbeat.wake();
    for (int i = 0; i < 3 && heartbeat.isRunning(); ++i)
        heartbeat.tick();
    EXPECT_FALSE(heartbeat.isRunning());

    globals().PingEnabled = 1;
    globals().PingFrequency = 3; // a pass after 182 quiet ticks
    heartbeat.wake();
    heartbeat.tick();
    EXPECT_EQ(heartbeat.nextTickIn(), SessionHeartbeat::interval * 181);
    EXPECT_EQ(sessions.front()->PingTicks(), 1);
}

} // namespace
