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
            element.Accept(requestId);
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
    int lastRequestId = 0;
};

TEST(TcpServer, AcceptsRequestsIntoElementsAndReusesAClosedOne) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    EXPECT_EQ(session.array.at(0).State(), 2);
    QSignalSpy closedSpy(&session.array, &SocketArray::closed);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(connectedPeer(session.port()));
        ASSERT_TRUE(waitUntil([&] { return session.connectedCount() == i + 1; }));
        EXPECT_EQ(session.array.at(i + 1).RemoteHostIP(), kLoopback);
        EXPECT_EQ(session.array.at(i + 1).RemotePort(), clients[i]->localPort());
    }
    // Taken once, a request cannot be taken again, and a busy element accepts nothing.
    QtSocket outsider;
    EXPECT_EQ(outsider.Accept(session.lastRequestId).number, 10038);
    EXPECT_EQ(session.array.at(1).Accept(session.lastRequestId).number, 40020);

    clients[1]->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).State() == 0; }));
    ASSERT_EQ(closedSpy.count(), 1);
    EXPECT_EQ(closedSpy.at(0).at(0).toInt(), 2);
    auto fourth = connectedPeer(session.port());
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).State() == 7; }));
    EXPECT_EQ(session.array.maxIndex(), 3);
    // The reused element carries the new client's data, and only that.
    fourth->write("fourth");
    ASSERT_TRUE(waitUntil([&] { return session.array.at(2).bytesAvailable() == 6; }));
    EXPECT_EQ(session.array.at(2).GetData(), QByteArray("fourth"));
    ASSERT_TRUE(session.array.at(2).SendData("hello fourth"));
    EXPECT_EQ(readUntil(*fourth, 12), QByteArray("hello fourth"));

    // Our own close reaches the peer and raises no close event; the listener goes on.
    EXPECT_TRUE(session.array.at(3).Close());
    EXPECT_TRUE(
        waitUntil([&] { return clients[2]->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(session.array.at(3).Close()) << "closing a closed element is harmless";
    EXPECT_EQ(closedSpy.count(), 1);
    EXPECT_EQ(session.array.at(0).State(), 2);
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
    // The id of a request that was closed names nothing any more, nor do made-up ones.
    for (int id : {requestSpy.at(0).at(1).toInt(), 12345, -1})
        EXPECT_EQ(session.array.load(1).Accept(id).number, 10038) << id;
}

TEST(TcpServer, ClosingTheListenerFreesItsPortAndAPortInUseIsRefused) {
    ServerSession session;
    ASSERT_TRUE(session.listen());
    const int port = session.port();
    session.array.at(0).Close();
    EXPECT_EQ(session.array.at(0).State(), 0);
    QtSocket again;
    ASSERT_TRUE(again.Bind(port, kLoopback));
    EXPECT_TRUE(again.Listen());

    QtSocket element, udp;
    const auto bound = element.Bind(port, kLoopback);
    EXPECT_EQ(bound.number, 10048);
    EXPECT_FALSE(bound.description.isEmpty());
    ASSERT_TRUE(element.setLocalPort(port));
    EXPECT_EQ(element.Listen().number, 10048) << "Listen without Bind binds to the local port";
    EXPECT_EQ(element.State(), 0);
    QUdpSocket other;
    other.bind(QHostAddress::LocalHost, 0);
    udp.setProtocol(1);
    EXPECT_EQ(udp.Bind(other.localPort(), kLoopback).number, 10048);
    EXPECT_EQ(udp.State(), 0);
}

} // namespace
