// A UDP socket element: datagrams both ways, sends before anyone has spoken, and sends with
// nowhere to go.
#include "platform/QtSocket.h"
#include "tests/platform/SocketTestPeers.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// A UDP peer bound to an ephemeral port on 127.0.0.1.
struct UdpPeer {
    QUdpSocket socket;
    UdpPeer() { socket.bind(QHostAddress::LocalHost, 0); }
    int port() const { return socket.localPort(); }
    void sendTo(int port, const QByteArray& data) {
        socket.writeDatagram(data, QHostAddress::LocalHost, quint16(port));
    }
    QByteArray receive() {
        if (!waitUntil([&] { return socket.hasPendingDatagrams(); }))
            return "<nothing>";
        return socket.receiveDatagram().data();
    }
};

// A UDP element bound to an ephemeral port on 127.0.0.1.
struct UdpElement {
    QtSocket element;
    UdpElement() {
        element.setProtocol(1);
        element.Bind(0, kLoopback);
    }
    int port() const { return element.LocalPort(); }
};

TEST(Udp, EachDatagramIsOneArrivalAndMakesItsSenderTheRemote) {
    UdpElement udp;
    ASSERT_EQ(udp.element.State(), 1);
    QSignalSpy arrivalSpy(&udp.element, &Socket::dataArrival);
    UdpPeer peer;
    for (const char* datagram : {"one", "second", ""})
        peer.sendTo(udp.port(), datagram);
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 3; }));
    EXPECT_EQ(arrivalSpy.at(0).at(0).toLongLong(), 3);
    EXPECT_EQ(arrivalSpy.at(1).at(0).toLongLong(), 6);
    EXPECT_EQ(udp.element.RemoteHostIP(), kLoopback);
    EXPECT_EQ(udp.element.RemotePort(), peer.port());
    const QList<QByteArray> taken{udp.element.GetData(), udp.element.GetData(),
                                  udp.element.GetData()};
    EXPECT_EQ(taken, (QList<QByteArray>{"one", "second", ""}));
    EXPECT_EQ(udp.element.bytesAvailable(), 0);
}

// Datagrams the engine does not take at once are held up to the read bound; the rest wait in
// the kernel and come in as the held ones are taken, none lost and in order.
TEST(Udp, HeldDatagramsAreBoundedAndReadingResumesAsTheyAreTaken) {
    QtSocket element;
    element.setProtocol(1);
    element.setReadBufferLimit(10);
    ASSERT_TRUE(element.Bind(0, kLoopback));
    QSignalSpy arrivalSpy(&element, &Socket::dataArrival);
    UdpPeer peer;
    for (int i = 0; i < 10; ++i)
        peer.sendTo(element.LocalPort(), QByteArray::number(1000 + i));
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 3; }));
    EXPECT_LE(element.bytesAvailable(), 12);

    QList<QByteArray> taken;
    ASSERT_TRUE(waitUntil([&] {
        while (element.bytesAvailable() > 0)
            taken << element.GetData();
        return taken.size() == 10;
    }));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(taken.value(i), QByteArray::number(1000 + i));
}

// Before anyone speaks, sends go to the remote that was set, by address or by name; an
// element not yet bound binds on its first send.
TEST(Udp, BeforeAnyoneSpeaksSendsGoToTheRemoteThatWasSet) {
    UdpPeer peer;
    QtSocket element;
    element.setProtocol(1);
    element.setRemoteHost(kLoopback);
    element.setRemotePort(peer.port());
    ASSERT_TRUE(element.SendData("by address"));
    EXPECT_EQ(element.State(), 1);
    EXPECT_EQ(peer.receive(), QByteArray("by address"));
    element.setRemoteHost("localhost");
    ASSERT_TRUE(element.SendData("by name"));
    ASSERT_TRUE(element.SendData(" twice"));
    EXPECT_EQ(peer.receive(), QByteArray("by name"));
    EXPECT_EQ(peer.receive(), QByteArray(" twice"));
    EXPECT_EQ(element.bytesToSend(), 0);
    QSignalSpy arrivalSpy(&element, &Socket::dataArrival);
    peer.sendTo(element.LocalPort(), "reply");
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
    EXPECT_EQ(element.GetData(), QByteArray("reply"));
}

// Sends to an unknown host or a refused port are dropped quietly: no error event, no close,
// and the element goes on working.
TEST(Udp, SendsThatCannotArriveAreDroppedQuietly) {
    UdpElement udp;
    QSignalSpy errorSpy(&udp.element, &Socket::error);
    QSignalSpy closedSpy(&udp.element, &Socket::closed);
    udp.element.setRemoteHost("no-such-host.invalid");
    udp.element.setRemotePort(9);
    ASSERT_TRUE(udp.element.SendData("lost"));
    EXPECT_EQ(udp.element.bytesToSend(), 4);
    ASSERT_TRUE(
        waitUntil([&] { return udp.element.bytesToSend() == 0; }, std::chrono::seconds(30)));
    int refusedPort = 0;
    {
        UdpPeer gone;
        refusedPort = gone.port();
    }
    udp.element.setRemoteHost(kLoopback);
    udp.element.setRemotePort(refusedPort);
    EXPECT_TRUE(udp.element.SendData("first"));
    // A second exchange, so that any report of the first one has been processed.
    UdpPeer peer;
    QSignalSpy arrivalSpy(&udp.element, &Socket::dataArrival);
    peer.sendTo(udp.port(), "ping");
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
    udp.element.SendData("second");
    EXPECT_EQ(peer.receive(), QByteArray("second"));
    EXPECT_EQ(errorSpy.count() + closedSpy.count(), 0);
    EXPECT_EQ(udp.element.State(), 1);
}

// With nowhere to send (no remote, or the last sender forgotten on close) a send is refused.
TEST(Udp, CloseForgetsTheLastSenderAndFreesThePort) {
    UdpElement udp;
    const int port = udp.port();
    UdpPeer peer;
    QSignalSpy arrivalSpy(&udp.element, &Socket::dataArrival);
    QSignalSpy errorSpy(&udp.element, &Socket::error);
    EXPECT_EQ(udp.element.SendData("nowhere").number, 10039);
    peer.sendTo(port, "x");
    ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
    ASSERT_TRUE(udp.element.Close());
    EXPECT_TRUE(udp.element.GetData().isEmpty());
    ASSERT_TRUE(udp.element.Bind(port, kLoopback));
    udp.element.setRemoteHost("");
    EXPECT_EQ(udp.element.SendData("y").number, 10039);
    EXPECT_EQ(errorSpy.count(), 0);
}

TEST(Udp, ASendLargerThanADatagramGoesOutInPieces) {
    UdpPeer peer;
    peer.socket.setReadBufferSize(0);
    UdpElement udp;
    udp.element.setRemoteHost(kLoopback);
    udp.element.setRemotePort(peer.port());
    const QByteArray sent = patternBytes(QtSocket::kMaxDatagramBytes + 100);
    ASSERT_TRUE(udp.element.SendData(sent));
    QByteArray received = peer.receive();
    received += peer.receive();
    EXPECT_EQ(received, sent);
}

} // namespace
