// A UDP socket element against a plain UDP socket on 127.0.0.1.
#include "tests/platform/SocketTestPeers.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct UdpPeer {
    QUdpSocket socket;
    UdpPeer() { socket.bind(QHostAddress::LocalHost, 0); }
    int port() const { return socket.localPort(); }
    void sendTo(int port, const QByteArray& data) {
        socket.writeDatagram(data, QHostAddress::LocalHost, quint16(port));
    }
    QByteArray receive() {
        waitUntil([&] { return socket.hasPendingDatagrams(); });
        return socket.receiveDatagram().data();
    }
};

// With nowhere to send (no remote yet, or the sender forgotten on close) a send is refused.
TEST(Udp, EachDatagramIsOneArrivalAndItsSenderIsTheRemoteUntilClose) {
    QtSocket udp;
    udpBound(udp);
    ASSERT_EQ(udp.State(), 1);
    const int port = udp.LocalPort();
    EXPECT_EQ(udp.SendData("nowhere").number, 10039);
    QSignalSpy arrivalSpy(&udp, &Socket::dataArrival);
    UdpPeer peer;
    for (const char* datagram : {"one", "second", "", "held"})
        peer.sendTo(port, datagram);
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 4; }));
    EXPECT_EQ(arrivalSpy.at(1).at(0).toLongLong(), 6);
    EXPECT_EQ(udp.RemoteHostIP(), kLoopback);
    EXPECT_EQ(udp.RemotePort(), peer.port());
    const QList<QByteArray> taken{udp.GetData(), udp.GetData(), udp.GetData()};
    EXPECT_EQ(taken, (QList<QByteArray>{"one", "second", ""}));
    ASSERT_TRUE(udp.Close());
    EXPECT_TRUE(udp.GetData().isEmpty() && udp.bytesAvailable() == 0);
    ASSERT_TRUE(udp.Bind(port, kLoopback));
    EXPECT_EQ(udp.SendData("y").number, 10039);
}

// Held datagrams stay within the read bound; the rest come in as they are taken, in order.
TEST(Udp, HeldDatagramsAreBoundedAndReadingResumesAsTheyAreTaken) {
    QtSocket element;
    element.setReadBufferLimit(10);
    udpBound(element);
    QSignalSpy arrivalSpy(&element, &Socket::dataArrival);
    UdpPeer peer;
    QList<QByteArray> sent, taken;
    for (int i = 0; i < 10; ++i)
        peer.sendTo(element.LocalPort(), sent.emplace_back(QByteArray::number(1000 + i)));
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 3; }));
    EXPECT_LE(element.bytesAvailable(), 12);
    ASSERT_TRUE(waitUntil([&] {
        while (element.bytesAvailable() > 0)
            taken << element.GetData();
        return taken.size() == 10;
    }));
    EXPECT_EQ(taken, sent);
}

// Before anyone speaks, sends go to the remote set (by address or name), binding if need be.
TEST(Udp, BeforeAnyoneSpeaksSendsGoToTheRemoteThatWasSet) {
    UdpPeer peer;
    peer.socket.setReadBufferSize(0);
    QtSocket element;
    element.setProtocol(1);
    aimAt(element, kLoopback, peer.port());
    ASSERT_TRUE(element.SendData("by address"));
    EXPECT_EQ(element.State(), 1);
    EXPECT_EQ(peer.receive(), QByteArray("by address"));
    const QByteArray large = patternBytes(QtSocket::kMaxDatagramBytes + 100);
    ASSERT_TRUE(element.SendData(large));
    const QByteArray piece = peer.receive();
    EXPECT_EQ(piece + peer.receive(), large) << "more than a datagram goes out in pieces";
    element.setRemoteHost("localhost");
    ASSERT_TRUE(element.SendData("by name") && element.SendData(" twice"));
    const QByteArray first = peer.receive();
    EXPECT_EQ(first + peer.receive(), QByteArray("by name twice"));
    EXPECT_EQ(element.bytesToSend(), 0);
    QSignalSpy arrivalSpy(&element, &Socket::dataArrival);
    peer.sendTo(element.LocalPort(), "reply");
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
    EXPECT_EQ(element.GetData(), QByteArray("reply"));
}

// Sends to an unknown host or a refused port are dropped quietly: no error event, no close.
TEST(Udp, SendsThatCannotArriveAreDroppedQuietly) {
    QtSocket udp;
    udpBound(udp);
    QSignalSpy errorSpy(&udp, &Socket::error);
    QSignalSpy closedSpy(&udp, &Socket::closed);
    aimAt(udp, "no-such-host.invalid", 9);
    ASSERT_TRUE(udp.SendData("lost"));
    EXPECT_EQ(udp.bytesToSend(), 4);
    ASSERT_TRUE(waitUntil([&] { return udp.bytesToSend() == 0; }, std::chrono::seconds(30)));
    aimAt(udp, kLoopback, UdpPeer().port()); // a port closed again at once
    EXPECT_TRUE(udp.SendData("first"));
    // A second exchange, so that any report of the first one has been processed.
    UdpPeer peer;
    QSignalSpy arrivalSpy(&udp, &Socket::dataArrival);
    peer.sendTo(udp.LocalPort(), "ping");
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
    udp.SendData("second");
    EXPECT_EQ(peer.receive(), QByteArray("second"));
    EXPECT_EQ(errorSpy.count() + closedSpy.count(), 0);
    EXPECT_EQ(udp.State(), 1);
}

} // namespace
