#include "tests/session/SessionFixture.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <sys/resource.h>

namespace {

class ConnectionTest : public SessionFixture {
protected:
    bool networkStatusBecomes(const char* text) {
        return waitUntil([&] { return status(1) == QString::fromLatin1(text); });
    }
};

// The link monitor drops a client whose peer answers no echo; Timer1 connects it again and the
// new connection is pinged in its turn.
TEST_F(ConnectionTest, AClientDroppedForAFailedEchoReconnectsOnTimer1) {
    globals().PingEnabled = 1;
    globals().PingFrequency = 0; // 9 quiet ticks
    PeerServer peer;
    virtualClient(20, peer.port());
    int pinged = 0;
    doc->bridge()->linkMonitor().setKeepAlive([&](const QString&, QObject*, EchoDone done) {
        ++pinged;
        EchoReply reply;
        reply.status = 11010; // timed out
        QTimer::singleShot(0, doc.get(), [done, reply] { done(reply); });
    });
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    ASSERT_TRUE(stateBecomes(0, 7));
    ticks(9);
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Closed"));
    EXPECT_TRUE(errorLog().contains("Ping Failed - Ping Result = 11010"));
    EXPECT_TRUE(isReconnecting());
    EXPECT_EQ(doc->ConnectedClients(), 0) << "never below 0";
    doc->Timer1_Timer();
    ASSERT_TRUE(peer.nextConnection()) << "reconnected";
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Connected"));
    EXPECT_FALSE(isReconnecting());
    ticks(9);
    EXPECT_EQ(pinged, 2);
}

// A double click lists the clients' addresses; an error at or below 10000 leaves the socket
// open; with all clients gone the server listens again.
TEST_F(ConnectionTest, ServerListsItsClientsAndKeepsThemThroughALowError) {
    virtualServer(22);
    Peers peers = connectClients(2);
    doc->Frame2->dblClick();
    EXPECT_EQ(host.messages.at(0).text, QStringLiteral("127.0.0.1\r\n").repeated(2));
    doc->Winsock1_Error(2, 10000, QStringLiteral("not a socket-layer error"));
    EXPECT_EQ(std::pair(status(1), socket(2).State()),
              std::pair(QStringLiteral("TCP/IP Status: Error"), 7));
    peers.clear();
    ASSERT_TRUE(clientsBecome(0));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));
}

// A peer that sends and closes at once loses nothing, even while its bytes are held back and
// another client has come since: a server that takes from its first client only takes all of
// it.
TEST_F(ConnectionTest, BytesOfAClosingFirstClientAreAllDelivered) {
    smallHeldBuffers();
    options([](IoOptions& o) { o.ServerTCPOptions = 2; });
    virtualServer(24);
    const QByteArray sent = patternBytes(300 * 1024);
    Peers clients = connectClients(2);
    clients[0]->write(sent);
    clients[0]->disconnectFromHost(); // once its bytes are out
    ASSERT_TRUE(waitUntil([&] { return doc->SerialOutBufferCount() == 1024; }));
    UniqueFd app = openApplication(24);
    EXPECT_EQ(readExactly(app.get(), sent.size(), std::chrono::seconds(20)), sent);
    EXPECT_TRUE(clientsBecome(1));
}

// What an application writes as soon as it opens a port whose connection follows it waits
// for that connection, which ends when the application closes; when the connection cannot be
// made the bytes are dropped, and logged.
TEST_F(ConnectionTest, BytesWrittenOnOpeningWaitForTheConnection) {
    PeerServer peer;
    const std::pair<int, int> cases[] = {{peer.port(), 26}, {unusedTcpPort(), 27}};
    for (const auto& [port, com] : cases) {
        renew();
        virtualPort(com);
        client(port);
        doc->IPAddress->setText(QStringLiteral("localhost")); // a look-up first: it takes a while
        activate();
        UniqueFd app = openTerminal(comLinkPath(com));
        ASSERT_TRUE(writeAll(app.get(), "first words"));
        if (port == peer.port()) {
            std::unique_ptr<QTcpSocket> connection(peer.nextConnection());
            ASSERT_TRUE(connection);
            EXPECT_EQ(readUntil(*connection, 11), QByteArray("first words"));
            app.reset(); // the connection follows the application
            EXPECT_TRUE(stateBecomes(0, 0));
        } else {
            EXPECT_TRUE(waitUntil(
                [&] { return errorLog().contains("11 bytes the application wrote are dropped"); }));
            EXPECT_EQ(doc->MyBufferCount(), 0);
        }
    }
}

// An application that opens the port the moment it appears, while the activation is still
// under way, makes the session connect.
TEST_F(ConnectionTest, AnApplicationThatOpensDuringActivationIsConnected) {
    PeerServer peer;
    virtualPort(28);
    client(peer.port());
    UniqueFd app;
    QObject::connect(doc.get(), &frmDocument::statusChanged, [&](int index, const QString& text) {
        if (index == 0 && text.endsWith(QStringLiteral("created")))
            app = openApplication(28);
    });
    activate();
    ASSERT_TRUE(peer.nextConnection());
    EXPECT_TRUE(networkStatusBecomes("TCP/IP Status: Connected"));
}

// A server serves one client when multiple connects are off, else at most an eighth of the
// descriptors it may open; the next client is closed at once (at the eighth, logged), and one
// is served again, in the place that was freed, once a place is free. Places held by clients
// that have left, their close not yet handled, are freed for a newcomer.
TEST_F(ConnectionTest, ClientsBeyondTheBoundAreRefused) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
    for (const int multiple : {0, 1}) {
        SCOPED_TRACE(multiple);
        const int bound = multiple ? 32 : 1;
        renew();
        options([&](IoOptions& o) { o.AllowMultiConnect = multiple; });
        virtualServer(multiple ? 29 : 23);
        Peers clients = connectClients(bound);
        ASSERT_EQ(doc->ConnectedClients(), bound);
        QTcpSocket refused;
        QSignalSpy closed(&refused, &QTcpSocket::disconnected);
        refused.connectToHost(QHostAddress::LocalHost, quint16(listeningPort()));
        EXPECT_TRUE(closed.wait(5000));
        EXPECT_EQ(errorLog().contains("Client refused: this session serves at most 32 clients"),
                  bool(multiple));
        clients.front()->abort();
        ASSERT_TRUE(clientsBecome(bound - 1));
        clients.push_back(connectedPeer(listeningPort()));
        EXPECT_TRUE(clientsBecome(bound));
        EXPECT_EQ(std::pair(int(doc->MaxSocketIndex()), status(1)),
                  std::pair(bound, QStringLiteral("TCP/IP Status: (%1)Connected").arg(bound)));
        for (auto& client : clients)
            client->abort();
        QTcpSocket newcomer;
        QSignalSpy dropped(&newcomer, &QTcpSocket::disconnected);
        newcomer.connectToHost(QHostAddress::LocalHost, quint16(listeningPort()));
        ASSERT_TRUE(clientsBecome(1));
        EXPECT_TRUE(dropped.isEmpty());
    }
}

} // namespace
