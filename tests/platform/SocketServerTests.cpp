// A socket array as a TCP server: element 0 listens, requests are accepted into elements
// 1..n, closed elements are reused, and requests nobody accepts are closed.
#include "platform/QtSocket.h"
#include "platform/SocketArray.h"
#include "tests/platform/SocketTestPeers.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <vector>

namespace {

// What a session does with its array in server mode: accept each request into the lowest
// closed element from 1 up, loading a new one when all are busy, and close an element whose
// peer has closed.
class ServerSession {
public:
    ServerSession() {
        QObject::connect(&array, &SocketArray::connectionRequest, [this](int, int requestId) {
            if (!accepting)
                return;
            Socket& element = array.load(freeIndex());
            element.setLocalPort(array.at(0).LocalPort());
            lastAccept = element.Accept(requestId);
            lastRequestId = requestId;
        });
        QObject::connect(&array, &SocketArray::closed,
                         [this](int index) { array.at(index).Close(); });
    }

    bool listen() { return array.at(0).Bind(0, kLoopback) && array.at(0).Listen(); }
    int port() const { return array.at(0).LocalPort(); }

    int freeIndex() const {
        for (int i = 1; i <= array.maxIndex(); ++i) {
            if (array.at(i).State() == 0)
                return i;
        }
        return array.maxIndex() + 1;
    }
    int connectedCount() const {
        int n = 0;
        for (int i = 1; i <= array.maxIndex(); ++i)
            n += array.at(i).State() == 7 ? 1 : 0;
        return n;
    }

    SocketArray array;
    bool accepting = true;
    ComponentResult lastAccept;
    int lastRequestId = 0;
};

TEST(TcpServer, AcceptsRequestsIntoElementsAndReusesAClosedOne) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    EXPECT_EQ(session.array.at(0).State(), 2);

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(connectedPeer(session.port()));
        ASSERT_TRUE(waitUntil([&] { return session.connectedCount() == i + 1; }));
    }
    EXPECT_EQ(session.array.maxIndex(), 3);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(session.array.at(i).RemoteHostIP(), kLoopback);
        EXPECT_EQ(session.array.at(i).RemotePort(), clients[i - 1]->localPort());
    }

    clients[1]->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).State() == 0; }));
    EXPECT_EQ(session.connectedCount(), 2);

    auto fourth = connectedPeer(session.port());
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).State() == 7; }));
    EXPECT_EQ(session.array.maxIndex(), 3);
    EXPECT_EQ(session.array.at(2).RemotePort(), fourth->localPort());

    // The reused element carries the new client's data, and only that.
    fourth->write("fourth");
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).bytesAvailable() == 6; }));
    EXPECT_EQ(session.array.at(2).GetData(), QByteArray("fourth"));
    ASSERT_TRUE(session.array.at(2).SendData("hello fourth"));
    EXPECT_EQ(readUntil(*fourth, 12), QByteArray("hello fourth"));
}

TEST(TcpServer, ARequestNobodyAcceptsIsClosed) {
    ServerSession session;
    session.accepting = false;
    ASSERT_TRUE(session.listen());
    QSignalSpy requestSpy(&session.array, &SocketArray::connectionRequest);

    QTcpSocket client;
    QSignalSpy clientClosed(&client, &QAbstractSocket::disconnected);
    client.connectToHost(QHostAddress::LocalHost, quint16(session.port()));
    ASSERT_TRUE(waitUntil([&] { return requestSpy.count() == 1; }));
    EXPECT_EQ(requestSpy.at(0).at(0).toInt(), 0) << "the listening element announces it";
    EXPECT_TRUE(waitUntil([&] { return clientClosed.count() == 1; }));
    EXPECT_EQ(session.array.maxIndex(), 0);

    // The id of a request that was closed names nothing any more.
    const int staleId = requestSpy.at(0).at(1).toInt();
    EXPECT_EQ(session.array.load(1).Accept(staleId).number, 10038);
}

TEST(TcpServer, AcceptChecksItsRequest) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    QtSocket outsider;
    EXPECT_EQ(outsider.Accept(12345).number, 10038);
    EXPECT_EQ(outsider.Accept(-1).number, 10038);

    auto client = connectedPeer(session.port());
    ASSERT_TRUE(waitUntil([&] { return session.connectedCount() == 1; }));
    ASSERT_TRUE(session.lastAccept);
    // Taken once, a request cannot be taken again, and a busy element accepts nothing.
    EXPECT_EQ(outsider.Accept(session.lastRequestId).number, 10038);
    EXPECT_EQ(session.array.at(1).Accept(session.lastRequestId).number, 40020);
}

TEST(TcpServer, PeerClosesAndOwnClosesBothWays) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    QSignalSpy closedSpy(&session.array, &SocketArray::closed);
    auto first = connectedPeer(session.port());
    auto second = connectedPeer(session.port());
    ASSERT_TRUE(waitUntil([&] { return session.connectedCount() == 2; }));

    first->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return closedSpy.count() == 1; }));
    EXPECT_EQ(closedSpy.at(0).at(0).toInt(), 1);

    EXPECT_TRUE(session.array.at(2).Close());
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(session.array.at(2).Close()) << "closing a closed element is harmless";
    EXPECT_EQ(closedSpy.count(), 1);
    EXPECT_EQ(session.array.at(0).State(), 2) << "the listener is not affected";
}

TEST(TcpServer, ClosingTheListenerFreesItsPort) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    const int port = session.port();
    session.array.at(0).Close();
    EXPECT_EQ(session.array.at(0).State(), 0);
    QtSocket again;
    ASSERT_TRUE(again.Bind(port, kLoopback));
    EXPECT_TRUE(again.Listen());
}

TEST(TcpServer, BindOnAPortInUseFails) {
    PeerServer other;
    QtSocket element;
    const auto bound = element.Bind(other.port(), kLoopback);
    EXPECT_EQ(bound.number, 10048);
    EXPECT_FALSE(bound.description.isEmpty());
    EXPECT_EQ(element.State(), 0);

    ASSERT_TRUE(element.setLocalPort(other.port()));
    EXPECT_EQ(element.Listen().number, 10048) << "Listen without Bind binds to the local port";
    EXPECT_EQ(element.State(), 0);
}

} // namespace
