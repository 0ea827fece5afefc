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
    QByteArray errorLog() const { return readWholeFile(home.path("home/errorlog.txt")); }
};

// The link monitor drops a client whose peer answers no echo; Timer1 connects it again and the
// new connection is pinged in its turn.
TEST_F(ConnectionTest, AClientDroppedForAFailedEchoReconnectsOnTimer1) {
    globals().LogErrors = 1;
    globals().PingEnabled = 1;
    globals().PingFrequency = 0; // 9 quiet ticks
    PeerServer peer;
    virtualClient(20, peer.port());
    QStringList pinged;
    doc->bridge()->linkMonitor().setKeepAlive([&](const QString& address, QObject*, EchoDone done) {
        pinged << address;
        EchoReply reply;
        reply.status = 11010; // timed out
        QTimer::singleShot(0, doc.get(), [done, reply] { done(reply); });
    });
    std::unique_ptr<QTcpSocket> first(peer.nextConnection());
    ASSERT_TRUE(waitUntil([&] { return socket(0).State() == 7; }));
    ticks(9);
    EXPECT_EQ(pinged, QStringList{kLoopback});
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Closed"));
    EXPECT_TRUE(errorLog().contains("Ping Failed - Ping Result = 11010"));
    EXPECT_TRUE(doc->bridge()->network().client().isReconnecting());
    EXPECT_EQ(doc->ConnectedClients(), 0) << "never below 0";
    doc->Timer1_Timer();
    ASSERT_TRUE(peer.nextConnection()) << "reconnected";
    ASSERT_TRUE(networkStatusBecomes("TCP/IP Status: Connected"));
    EXPECT_FALSE(doc->bridge()->network().client().isReconnecting());
    ticks(9);
    EXPECT_EQ(pinged.size(), 2);
}

TEST_F(ConnectionTest, RefusedClientShowsTheErrorAndRetries) {
    globals().LogErrors = 1;
    virtualClient(21, unusedTcpPort());
    ASSERT_TRUE(waitUntil([&] { return doc->bridge()->network().client().isReconnecting(); }));
    EXPECT_TRUE(errorLog().contains("refused"));
    // A connect that cannot even start (remote port 0) shows why and stays armed.
    doc = std::make_unique<frmDocument>(host);
    virtualPort(25);
    client(0);
    activate();
    UniqueFd app = openApplication(25);
    ASSERT_TRUE(waitUntil([&] { return doc->bridge()->network().client().isReconnecting(); }));
    doc->Timer1_Timer();
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
    EXPECT_TRUE(doc->bridge()->network().client().isReconnecting());
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
    EXPECT_EQ(doc->ConnectedClients(), 2);
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
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 0; }));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));
}

TEST_F(ConnectionTest, OneClientAtATimeWhenMultipleConnectsAreOff) {
    options([](IoOptions& o) { o.AllowMultiConnect = 0; });
    virtualServer(23);
    auto first = connectedPeer(listeningPort());
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 1; }));
    QTcpSocket second;
    QSignalSpy refused(&second, &QTcpSocket::disconnected);
    second.connectToHost(QHostAddress::LocalHost, quint16(listeningPort()));
    EXPECT_TRUE(refused.wait(5000)) << "the second request is not accepted";
    EXPECT_EQ(doc->MaxSocketIndex(), 1);
    first->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 0; }));
    auto third = connectedPeer(listeningPort());
    EXPECT_TRUE(waitUntil([&] { return socket(1).State() == 7; }));
}

// A peer that sends and closes at once loses nothing, even while its bytes are held back and
// another client has come since: a server that takes from its first client only takes all of
// it.
TEST_F(ConnectionTest, BytesOfAClosingFirstClientAreAllDelivered) {
    doc->Combo1[5]->setListIndex(0); // 1024-byte buffers
    doc->BufferSerData->setValue(1); // held while no application has the port
    options([](IoOptions& o) { o.ServerTCPOptions = 2; });
    virtualServer(24);
    const QByteArray sent = patternBytes(300 * 1024);
    auto first = connectedPeer(listeningPort());
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 1; }));
    auto second = connectedPeer(listeningPort());
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 2; }));
    first->write(sent);
    first->disconnectFromHost(); // once its bytes are out
    ASSERT_TRUE(waitUntil([&] { return doc->SerialOutBufferCount() == 1024; }));
    UniqueFd app = openApplication(24);
    EXPECT_EQ(readExactly(app.get(), sent.size(), std::chrono::seconds(20)), sent);
    EXPECT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 1; }));
}

// What an application writes as soon as it opens a port whose connection follows it waits
// for that connection; when the connection cannot be made it is dropped, and logged.
TEST_F(ConnectionTest, BytesWrittenOnOpeningWaitForTheConnection) {
    globals().LogErrors = 1;
    PeerServer peer;
    const std::pair<int, int> cases[] = {{peer.port(), 26}, {unusedTcpPort(), 27}};
    for (const auto& [port, com] : cases) {
        doc = std::make_unique<frmDocument>(host);
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

// A server serves at most an eighth of the descriptors it may open; the next client is closed
// at once and logged, and served again once a place is free.
TEST_F(ConnectionTest, ClientsBeyondTheBoundAreRefused) {
    globals().LogErrors = 1;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
    virtualServer(29);
    ASSERT_EQ(doc->bridge()->network().clientLimit(), 32);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 32; ++i)
        clients.push_back(connectedPeer(listeningPort()));
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 32; }));
    QTcpSocket refused;
    QSignalSpy closed(&refused, &QTcpSocket::disconnected);
    refused.connectToHost(QHostAddress::LocalHost, quint16(listeningPort()));
    EXPECT_TRUE(closed.wait(5000));
    EXPECT_TRUE(errorLog().contains("Client refused: this session serves at most 32 clients"));
    clients.front()->abort();
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 31; }));
    clients.push_back(connectedPeer(listeningPort()));
    EXPECT_TRUE(waitUntil([&] { return doc->ConnectedClients() == 32; }));
}

} // namespace
