// A socket array as a TCP server (the session's choice of elements is the session tests').
#include "platform/SocketArray.h"
#include "tests/platform/SocketTestPeers.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(TcpServer, AcceptsIntoAFreeElementAndClosesRequestsNobodyTakes) {
    SocketArray array;
    ASSERT_TRUE(array.at(0).Bind(0, kLoopback) && array.at(0).Listen());
    const int port = array.at(0).LocalPort();
    QList<int> requests;
    QObject::connect(&array, &SocketArray::connectionRequest, [&](int listener, int id) {
        EXPECT_EQ(listener, 0);
        requests << id;
        if (array.load(1).State() == 0) // one client at a time
            array.at(1).Accept(id);
    });
    QSignalSpy closedSpy(&array, &SocketArray::closed);
    auto first = connectedPeer(port);
    ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == 7; }));
    EXPECT_EQ(array.at(1).RemotePort(), first->localPort());
    QTcpSocket refused;
    QSignalSpy refusedClosed(&refused, &QAbstractSocket::disconnected);
    refused.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(waitUntil([&] { return refusedClosed.count() == 1; }));
    // Taken or closed, a request's id names nothing any more; a busy element accepts nothing.
    QtSocket outsider;
    for (int id : {requests.value(0), requests.value(1), 12345, -1})
        EXPECT_EQ(outsider.Accept(id).number, 10038) << id;
    EXPECT_EQ(array.at(1).Accept(requests.value(0)).number, 40020);
    EXPECT_EQ(array.maxIndex(), 1);

    // The closed element, reused, carries the new client's data and only that.
    first->write("stale");
    first->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return closedSpy.count() == 1; }));
    EXPECT_EQ(closedSpy.at(0).at(0).toInt(), 1);
    array.at(1).Close();
    auto second = connectedPeer(port);
    ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == 7; }));
    second->write("fresh");
    ASSERT_TRUE(waitUntil([&] { return array.at(1).bytesAvailable() == 5; }));
    EXPECT_EQ(array.at(1).GetData(), QByteArray("fresh"));
    ASSERT_TRUE(array.at(1).SendData("hello"));
    EXPECT_EQ(readUntil(*second, 5), QByteArray("hello"));
    // Our own close (twice is harmless) reaches the peer and raises no close event.
    EXPECT_TRUE(array.at(1).Close() && array.at(1).Close());
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(closedSpy.count(), 1);
    EXPECT_EQ(array.at(0).State(), 2);
}

TEST(TcpServer, ClosingTheListenerFreesItsPortAndAPortInUseIsRefused) {
    QtSocket listener, again, element, udp;
    ASSERT_TRUE(listener.Bind(0, kLoopback) && listener.Listen());
    const int port = listener.LocalPort();
    listener.Close();
    ASSERT_TRUE(again.Bind(port, kLoopback) && again.Listen());

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
