// A UDP socket element against plain UDP sockets on loopback.
#include "platform/UdpEndpoint.h"
#include "tests/platform/SocketTestPeers.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct UdpPeer {
    QUdpSocket socket;
    explicit UdpPeer(const QString& address = kLoopback) { socket.bind(QHostAddress(address), 0); }
    int port() const { return socket.localPort(); }
    void sendTo(int port, const QByteArray& data) {
        socket.writeDatagram(data, QHostAddress::LocalHost, quint16(port));
    }
    QByteArray receive() {
        waitUntil([&] { return socket.hasPendingDatagrams(); });
        return socket.receiveDatagram().data();
    }
};

// Empty datagrams (keep-alives, or anyone's) carry nothing: however many come, the next real
// one is the next thing taken.
TEST(Udp, EmptyDatagramsNeverHoldUpTheNextOne) {
    QtSocket udp;
    udpBound(udp);
    QSignalSpy arrivalSpy(&udp, &Socket::dataArrival);
    UdpPeer peer;
    for (const int empties : {5, 1100}) {
        SCOPED_TRACE(empties);
        const QByteArray real = "after " + QByteArray::number(empties);
        for (int i = 1; i <= empties; ++i) {
            peer.sendTo(udp.LocalPort(), {});
            if (i % 50 == 0) // let the element read, or the kernel drops what it cannot hold
                QCoreApplication::processEvents();
        }
        peer.sendTo(udp.LocalPort(), real);
        arrivalSpy.clear();
        ASSERT_TRUE(waitUntil([&] { return !arrivalSpy.isEmpty(); }));
        EXPECT_EQ(std::tuple(arrivalSpy.count(), udp.bytesAvailable()), std::tuple(1, real.size()));
        EXPECT_EQ(udp.GetData(), real);
    }
}

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

// A client (RemoteHost set) sends only to RemoteHost:RemotePort and takes datagrams only from
// that host; a server (no RemoteHost) answers whoever spoke last, a stranger included, and
// forgets it on close. Each datagram is one arrival of its own size; one with nowhere to go is
// refused and dropped, not held back.
TEST(Udp, AClientKeepsToItsRemoteHostAndAServerAnswersTheLastSender) {
    for (const bool client : {true, false}) {
        SCOPED_TRACE(client ? "client" : "server");
        UdpPeer device, stranger("127.0.0.2");
        QtSocket element;
        element.setProtocol(1);
        if (client)
            aimAt(element, kLoopback, device.port());
        ASSERT_TRUE(element.Bind(0));
        if (!client) {
            qint64 taken = 0;
            EXPECT_EQ(element.SendData("nowhere", &taken).number, 10039);
            EXPECT_EQ(taken, 7);
        }
        QSignalSpy arrivalSpy(&element, &Socket::dataArrival);
        device.sendTo(element.LocalPort(), "device");
        ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == 1; }));
        stranger.sendTo(element.LocalPort(), "stranger");
        device.sendTo(element.LocalPort(), "device again");
        const QList<QByteArray> expected =
            client ? QList<QByteArray>{"device", "device again"}
                   : QList<QByteArray>{"device", "stranger", "device again"};
        ASSERT_TRUE(waitUntil([&] { return arrivalSpy.count() == expected.size(); }));
        QList<QByteArray> received;
        while (element.bytesAvailable() > 0)
            received << element.GetData();
        EXPECT_EQ(std::tuple(received, arrivalSpy.at(0).at(0).toLongLong(),
                             element.droppedDatagrams(), element.RemoteHostIP()),
                  std::tuple(expected, 6, 1, kLoopback));

        stranger.sendTo(element.LocalPort(), "last word");
        ASSERT_TRUE(client || waitUntil([&] { return element.bytesAvailable() > 0; }));
        ASSERT_TRUE(element.SendData("answer"));
        UdpPeer& answered = client ? device : stranger;
        EXPECT_EQ(answered.receive(), QByteArray("answer"));
        ASSERT_TRUE(element.Close() && element.GetData().isEmpty() && element.Bind(0));
        EXPECT_EQ(element.SendData("y").number, client ? 0 : 10039);
    }
}

// A client sends to the remote set, by address or by name, binding if need be (more than a
// datagram goes out in pieces); sends that cannot arrive (to an unknown host, a closed port)
// are dropped quietly: no error event, no close.
TEST(Udp, AClientSendsToTheRemoteSetAndDropsWhatCannotArriveQuietly) {
    UdpPeer peer;
    peer.socket.setReadBufferSize(0);
    QtSocket element;
    element.setProtocol(1);
    QSignalSpy errorSpy(&element, &Socket::error);
    QSignalSpy closedSpy(&element, &Socket::closed);
    aimAt(element, "no-such-host.invalid", 9);
    ASSERT_TRUE(element.SendData("lost"));
    EXPECT_EQ(std::tuple(element.State(), element.bytesToSend()), std::tuple(1, 4));
    ASSERT_TRUE(waitUntil([&] { return element.bytesToSend() == 0; }, std::chrono::seconds(30)));
    EXPECT_EQ(element.droppedDatagrams(), 1);
    aimAt(element, kLoopback, UdpPeer().port()); // a port closed again at once
    EXPECT_TRUE(element.SendData("refused"));
    aimAt(element, kLoopback, peer.port());
    const QByteArray large = patternBytes(UdpEndpoint::kMaxDatagramBytes + 100);
    ASSERT_TRUE(element.SendData(large));
    const QByteArray piece = peer.receive();
    EXPECT_EQ(piece + peer.receive(), large);
    element.setRemoteHost("localhost");
    ASSERT_TRUE(element.SendData("by name") && element.SendData(" twice"));
    const QByteArray first = peer.receive();
    EXPECT_EQ(first + peer.receive(), QByteArray("by name twice"));
    EXPECT_EQ(element.bytesToSend(), 0);
    EXPECT_EQ(errorSpy.count() + closedSpy.count(), 0);
}

// Run on a loopback slowed down in a network namespace of its own, where the kernel refuses
// datagrams for want of buffer space: they are held within the send limit and go out, whole
// and in order, when there is room again; the caller hears of the room as a TCP caller does.
TEST(Udp, DatagramsTheKernelRefusesAreHeldAndSentLater) {
    if (!qEnvironmentVariableIsSet("LUMIVEX_SLOW_LOOPBACK"))
        GTEST_SKIP() << "for the run on a slowed-down loopback";
    constexpr qint64 kLimit = 64 * 1024;
    constexpr int kCount = 600, kSize = 1000;
    UdpPeer peer;
    peer.socket.setReadBufferSize(0);
    QtSocket element;
    element.setProtocol(1);
    element.setSendLimit(kLimit);
    aimAt(element, kLoopback, peer.port());
    ASSERT_TRUE(element.Bind(0));
    QSignalSpy completeSpy(&element, &Socket::sendComplete);
    int next = 0;
    qint64 mostHeld = 0;
    const auto sendMore = [&] {
        while (next < kCount && element.sendRoom() > 0) {
            QByteArray datagram = patternBytes(kSize);
            datagram.replace(0, 4, QByteArray::number(1000 + next));
            qint64 taken = 0;
            ASSERT_TRUE(element.SendData(datagram, &taken));
            if (taken == 0)
                return;
            ASSERT_EQ(taken, kSize) << "whole datagrams or nothing";
            ++next;
            mostHeld = std::max(mostHeld, element.bytesToSend());
        }
    };
    QObject::connect(&element, &Socket::bytesSent, sendMore);
    sendMore();
    QList<QByteArray> received;
    ASSERT_TRUE(waitUntil(
        [&] {
            while (peer.socket.hasPendingDatagrams())
                received << peer.socket.receiveDatagram().data();
            return received.size() == kCount;
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(mostHeld > 0 && mostHeld <= kLimit) << mostHeld << " held: 0 proves nothing";
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(received[i].left(4), QByteArray::number(1000 + i)) << i;
    EXPECT_EQ(element.droppedDatagrams(), 0);
    EXPECT_GE(completeSpy.count(), 1);
}

} // namespace
