#include "model/GlobalSettings.h"
#include "tests/session/SessionFixture.h"

#include <QSignalSpy>
#include <QTimer>

namespace {

class ConnectionTest : public SessionFixture {
protected:
    QStringList statusTrail(QSignalSpy& spy) const {
        QStringList trail;
        for (const auto& call : spy)
            if (call.at(0).toInt() == 1)
                trail << call.at(1).toString();
        return trail;
    }
};

TEST_F(ConnectionTest, ClientReconnectsAfterThePeerCloses) {
    PeerServer peer;
    virtualPort(20);
    doc->options.ConnectOnVirtualOpen = 0;
    client(peer.port());
    activate();
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    ASSERT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Connected"); }));
    first->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Closed"); }));
    EXPECT_TRUE(doc->Timer1.isActive());
    EXPECT_EQ(doc->ConnectedClients, 0) << "never below 0";
    doc->Timer1_Timer();
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Connecting..."));
    std::unique_ptr<QTcpSocket> second(peer.nextConnection());
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Connected"); }));
    EXPECT_FALSE(doc->Timer1.isActive());
}

// The link monitor drops a connection whose peer does not answer; the client reconnects.
TEST_F(ConnectionTest, FailedEchoDropsTheClientWhichThenReconnects) {
    globals().LogErrors = 1;
    globals().PingEnabled = 1;
    globals().PingFrequency = 0; // 9 quiet ticks
    QStringList pinged;
    doc->linkMonitor().setKeepAlive([&](const QString& address, QObject*, EchoDone done) {
        pinged << address;
        EchoReply reply;
        reply.status = 11010; // timed out
        QTimer::singleShot(0, doc.get(), [done, reply] { done(reply); });
    });
    PeerServer peer;
    virtualPort(25);
    doc->options.ConnectOnVirtualOpen = 0;
    client(peer.port());
    activate();
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    ASSERT_TRUE(waitUntil([&] { return socket(0).State() == 7; }));
    ticks(8);
    EXPECT_TRUE(pinged.isEmpty());
    ticks(1);
    EXPECT_EQ(pinged, QStringList{kLoopback});
    ASSERT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Closed"); }));
    EXPECT_TRUE(doc->Timer1.isActive());
    EXPECT_TRUE(readWholeFile(home.path("home/errorlog.txt"))
                    .contains("Ping Failed - Ping Result = 11010"));
    doc->Timer1_Timer();
    EXPECT_TRUE(peer.nextConnection()) << "reconnected";
    globals().PingEnabled = 0;
    globals().LogErrors = 0;
}

TEST_F(ConnectionTest, RefusedClientShowsTheErrorAndRetries) {
    globals().LogErrors = 1;
    virtualPort(21);
    doc->options.ConnectOnVirtualOpen = 0;
    client(unusedTcpPort());
    QSignalSpy spy(doc.get(), &frmDocument::statusChanged);
    activate();
    ASSERT_TRUE(waitUntil([&] { return doc->Timer1.isActive(); }));
    EXPECT_EQ(statusTrail(spy), (QStringList{"TCP/IP Status: Connecting...", "TCP/IP Status: Error",
                                             "TCP/IP Status: Closed"}));
    EXPECT_TRUE(readWholeFile(home.path("home/errorlog.txt")).contains("refused"));
    // A reconnect that cannot even start shows why and stays armed.
    doc->IPAddress->setText(QString());
    doc->Timer1_Timer();
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
    EXPECT_TRUE(doc->Timer1.isActive());
    globals().LogErrors = 0;
}

TEST_F(ConnectionTest, ServerFillsAndReusesClientSlots) {
    virtualPort(22);
    server();
    activate();
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    for (int i = 0; i < 3; ++i)
        peers.push_back(connectedPeer(listeningPort()));
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 3; }));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: (3)Connected"));
    EXPECT_EQ(doc->MaxSocketIndex(), 3);
    peers[1]->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 2; }));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: (2)Connected"));
    peers.push_back(connectedPeer(listeningPort()));
    ASSERT_TRUE(waitUntil([&] { return socket(2).State() == 7; })) << "the free slot is reused";
    EXPECT_EQ(doc->MaxSocketIndex(), 3);
    // An error at or below 10000 leaves the socket open.
    doc->Winsock1_Error(2, 10000, QStringLiteral("not a socket-layer error"));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Error"));
    EXPECT_EQ(socket(2).State(), 7);
    for (auto& peer : peers)
        peer->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 0; }));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));
}

TEST_F(ConnectionTest, OneClientAtATimeWhenMultipleConnectsAreOff) {
    virtualPort(23);
    doc->options.AllowMultiConnect = 0;
    server();
    activate();
    auto first = connectedPeer(listeningPort());
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 1; }));
    QTcpSocket second;
    QSignalSpy refused(&second, &QTcpSocket::disconnected);
    second.connectToHost(QHostAddress::LocalHost, quint16(listeningPort()));
    EXPECT_TRUE(refused.wait(5000)) << "the second request is not accepted";
    EXPECT_EQ(doc->MaxSocketIndex(), 1);
    first->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 0; }));
    auto third = connectedPeer(listeningPort());
    EXPECT_TRUE(waitUntil([&] { return socket(1).State() == 7; }));
}

// A peer that sends and closes at once loses nothing, even while its bytes are held back.
TEST_F(ConnectionTest, BytesOfAClosingPeerAreAllDelivered) {
    virtualPort(24);
    doc->Combo1[5]->setListIndex(0); // 1024-byte buffers
    doc->BufferSerData->setValue(1); // held while no application has the port
    server();
    activate();
    const QByteArray sent = patternBytes(300 * 1024);
    auto peer = connectedPeer(listeningPort());
    peer->write(sent);
    peer->disconnectFromHost(); // once its bytes are out
    ASSERT_TRUE(waitUntil([&] { return doc->SerialOutBuffer.count() == 1024; }));
    UniqueFd app = openApplication(24);
    EXPECT_EQ(readExactly(app.get(), sent.size(), std::chrono::seconds(20)), sent);
    EXPECT_TRUE(waitUntil([&] { return doc->ConnectedClients == 0; }));
}

} // namespace
