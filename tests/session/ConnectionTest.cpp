#include "tests/session/SessionFixture.h"

#include <QSignalSpy>
#include <QTimer>

namespace {

class ConnectionTest : public SessionFixture {
protected:
    bool networkStatusBecomes(const char* text) {
        return waitUntil([&] { return status(1) == QString::fromLatin1(text); });
    }
    QByteArray errorLog() const { return readWholeFile(home.path("home/errorlog.txt")); }
};

// The link monitor drops a client whose peer answers no echo; Timer1 connects it again and the
// new connection is pinged in its turn.
TEST_F(ConnectionTest, AClientDroppedForAFailedEchoReconnectsOnTimer1) {
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
    virtualClient(20, peer.port());
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    ASSERT_TRUE(waitUntil([&] { return socket(0).State() == 7; }));
    ticks(9);
    EXPECT_EQ(pinged, QStringList{kLoopback});
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Closed"));
    EXPECT_TRUE(errorLog().contains("Ping Failed - Ping Result = 11010"));
    EXPECT_TRUE(doc->Timer1.isActive());
    EXPECT_EQ(doc->ConnectedClients, 0) << "never below 0";
    doc->Timer1_Timer();
    ASSERT_TRUE(peer.nextConnection()) << "reconnected";
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Connected"));
    EXPECT_FALSE(doc->Timer1.isActive());
    ticks(9);
    EXPECT_EQ(pinged.size(), 2);
}

TEST_F(ConnectionTest, RefusedClientShowsTheErrorAndRetries) {
    globals().LogErrors = 1;
    virtualClient(21, unusedTcpPort());
    ASSERT_TRUE(waitUntil([&] { return doc->Timer1.isActive(); }));
    EXPECT_TRUE(errorLog().contains("refused"));
    // A reconnect that cannot even start shows why and stays armed.
    doc->IPAddress->setText(QString());
    doc->Timer1_Timer();
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
    EXPECT_TRUE(doc->Timer1.isActive());
}

TEST_F(ConnectionTest, ServerFillsAndReusesClientSlots) {
    virtualServer(22);
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    for (int i = 0; i < 3; ++i)
        peers.push_back(connectedPeer(listeningPort()));
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: (3)Connected"));
    EXPECT_EQ(doc->MaxSocketIndex(), 3);
    peers[1]->abort();
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: (2)Connected"));
    EXPECT_EQ(doc->ConnectedClients, 2);
    peers.push_back(connectedPeer(listeningPort()));
    ASSERT_TRUE(waitUntil([&] { return socket(2).State() == 7; })) << "the free slot is reused";
    EXPECT_EQ(doc->MaxSocketIndex(), 3);
    doc->Frame2->dblClick();
    EXPECT_EQ(host.messages.at(0).text, QStringLiteral("127.0.0.1\r\n").repeated(3));
    // An error at or below 10000 leaves the socket open.
    doc->Winsock1_Error(2, 10000, QStringLiteral("not a socket-layer error"));
    EXPECT_EQ(std::pair(status(1), socket(2).State()),
              std::pair(QStringLiteral("TCP/IP Status: Error"), 7));
    for (auto& peer : peers)
        peer->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 0; }));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));
}

TEST_F(ConnectionTest, OneClientAtATimeWhenMultipleConnectsAreOff) {
    doc->options.AllowMultiConnect = 0;
    virtualServer(23);
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
    doc->Combo1[5]->setListIndex(0); // 1024-byte buffers
    doc->BufferSerData->setValue(1); // held while no application has the port
    virtualServer(24);
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
