// A TCP socket element as a client against real sockets on 127.0.0.1.
#include "platform/SocketArray.h"
#include "tests/platform/SocketTestPeers.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

constexpr int kConnected = 7;

// By address the element connects at once; by name it first resolves, without blocking. An
// unknown host is an error event and no close; closed after it, the element connects again.
TEST(TcpClient, ConnectsByAddressFromItsBoundPortOrByNameAfterAFailure) {
    for (const auto& [host, firstState] :
         {std::pair{kLoopback, 6}, std::pair{QStringLiteral("localhost"), 4}}) {
        PeerServer server;
        QtSocket element;
        QSignalSpy connectedSpy(&element, &Socket::connected);
        QSignalSpy errorSpy(&element, &Socket::error);
        QSignalSpy closedSpy(&element, &Socket::closed);
        const bool byAddress = firstState == 6;
        if (!byAddress) {
            ASSERT_TRUE(connectTo(element, "no-such-host.invalid", 80));
            EXPECT_EQ(errorSpy.count(), 0) << "the outcome must not arrive inside Connect()";
            ASSERT_TRUE(waitUntil([&] { return errorSpy.count() == 1; }, std::chrono::seconds(30)));
            EXPECT_EQ(errorSpy.at(0).at(0).toInt(), 11001);
            EXPECT_FALSE(errorSpy.at(0).at(1).toString().isEmpty());
            EXPECT_EQ(element.State(), 9);
            EXPECT_TRUE(element.Close());
        }
        const bool bound = byAddress && element.Bind(0, kLoopback);
        ASSERT_TRUE(connectTo(element, host, server.port()));
        EXPECT_EQ(connectedSpy.count(), 0) << "the outcome must not arrive inside Connect()";
        EXPECT_EQ(element.State(), firstState);
        QTcpSocket* peer = server.nextConnection();
        ASSERT_TRUE(peer && (!bound || peer->peerPort() == element.LocalPort()));
        ASSERT_TRUE(waitUntil([&] { return connectedSpy.count() == 1; }));
        EXPECT_EQ(element.State(), kConnected);
        EXPECT_EQ(element.RemoteHostIP(), kLoopback);
        EXPECT_EQ(closedSpy.count(), 0);
    }
}

// The element holds no more than its bound (the rest waits in the sender); nothing is lost.
TEST(TcpData, SmallReadBufferHoldsTheSenderBackAndLosesNothing) {
    constexpr qint64 kLimit = 4096;
    const QByteArray sent = patternBytes(4 * 1024 * 1024);
    ClientPair pair;
    pair.element.setReadBufferLimit(kLimit);
    ASSERT_TRUE(pair.open());
    pair.peer->write(sent);
    ASSERT_TRUE(waitUntil([&] { return pair.element.bytesAvailable() >= kLimit; }));
    EXPECT_LE(pair.element.bytesAvailable(), kLimit);
    EXPECT_GT(pair.peer->bytesToWrite(), 0) << "the sender must be held back";

    QByteArray received = pair.element.GetData();
    qint64 largest = 0;
    QObject::connect(&pair.element, &Socket::dataArrival, [&] {
        largest = std::max(largest, pair.element.bytesAvailable());
        received += pair.element.GetData();
    });
    ASSERT_TRUE(
        waitUntil([&] { return received.size() >= sent.size(); }, std::chrono::seconds(30)));
    EXPECT_EQ(received, sent);
    EXPECT_LE(largest, kLimit);
}

// Close() right after SendData() frees the element at once, and every byte still arrives,
// even when the peer has sent bytes the element never read and goes on sending while we close
// (closing over unread input would reset the connection and drop what the kernel still holds).
TEST(TcpClose, WriteThenCloseDeliversEveryByteWhateverThePeerSends) {
    for (const qint64 peerSends : {0, 1024 * 1024}) {
        SCOPED_TRACE(peerSends);
        const QByteArray sent = patternBytes(3 * 1024 * 1024);
        ClientPair pair;
        ASSERT_TRUE(pair.open());
        if (peerSends > 0) {
            pair.peer->write(patternBytes(peerSends));
            ASSERT_TRUE(waitUntil([&] { return pair.element.bytesAvailable() > 0; }));
        }
        ASSERT_TRUE(pair.element.SendData(sent) && pair.element.Close());
        EXPECT_EQ(pair.element.State(), 0);
        QByteArray received;
        ASSERT_TRUE(waitUntil(
            [&] {
                received += pair.peer->readAll();
                return received.size() >= sent.size() ||
                       pair.peer->state() == QAbstractSocket::UnconnectedState;
            },
            std::chrono::seconds(30)));
        EXPECT_EQ(received + pair.peer->readAll(), sent);
        pair.peer->disconnectFromHost();
    }
}

// A peer that reads nothing does not keep a closed connection alive past the linger limit.
TEST(TcpClose, LingerEndsWhenThePeerReadsNothing) {
    ClientPair pair;
    ASSERT_TRUE(pair.open());
    pair.peer->setReadBufferSize(1);
    pair.element.setLingerLimit(std::chrono::milliseconds(0));
    ASSERT_TRUE(pair.element.SendData(patternBytes(16 * 1024 * 1024)) && pair.element.Close());
    // The peer reads nothing: its kernel sees the connection end.
    const auto peerKernelState = [&] {
        tcp_info info{};
        socklen_t size = sizeof info;
        ::getsockopt(int(pair.peer->socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size);
        return info.tcpi_state;
    };
    EXPECT_TRUE(waitUntil([&] { return peerKernelState() != TCP_ESTABLISHED; }));
}

// A reset is one close event and no error event, so the connection is not counted out twice.
TEST(TcpClose, PeerResetIsOneCloseEvent) {
    ClientPair pair;
    ASSERT_TRUE(pair.open());
    QSignalSpy closedSpy(&pair.element, &Socket::closed);
    QSignalSpy errorSpy(&pair.element, &Socket::error);
    const linger hard{1, 0};
    const int fd = int(pair.peer->socketDescriptor());
    ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    pair.peer->abort();
    ASSERT_TRUE(waitUntil([&] { return closedSpy.count() == 1; }));
    EXPECT_EQ(errorSpy.count(), 0);
    EXPECT_EQ(pair.element.State(), 8);
}

// Every connection the element makes or accepts asks the kernel to watch it while idle and to
// bound how long sent bytes may stay unacknowledged.
TEST(TcpKeepAlive, IsOnForClientAndAcceptedConnections) {
    ClientPair client;
    ASSERT_TRUE(client.open());
    SocketArray server;
    ASSERT_TRUE(server.at(0).Bind(0, kLoopback) && server.at(0).Listen());
    QObject::connect(&server, &SocketArray::connectionRequest,
                     [&](int, int id) { server.load(1).Accept(id); });
    auto peer = connectedPeer(server.at(0).LocalPort());
    ASSERT_TRUE(waitUntil([&] { return server.at(1).State() == kConnected; }));
    const int ends[] = {
        descriptorOf(client.element.LocalPort(), client.server.port()),
        descriptorOf(server.at(0).LocalPort(), peer->localPort()),
    };
    for (const int fd : ends) {
        ASSERT_GE(fd, 0);
        const auto option = [fd](int level, int name) {
            int value = -1;
            socklen_t size = sizeof value;
            ::getsockopt(fd, level, name, &value, &size);
            return value;
        };
        EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 10);
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), 5);
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), 3);
        EXPECT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 25'000);
    }
}

} // namespace
