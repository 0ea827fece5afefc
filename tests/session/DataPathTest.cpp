#include "model/GlobalSettings.h"
#include "tests/session/SessionFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUdpSocket>
#include <unistd.h>

namespace {

// Writes the next piece of bytes that the fd takes without blocking.
void writeOn(int fd, const QByteArray& bytes, qsizetype& written) {
    const ssize_t n = ::write(fd, bytes.constData() + written,
                              size_t(std::min<qsizetype>(bytes.size() - written, 16384)));
    written += std::max<ssize_t>(n, 0);
}

QByteArray everyByteValue(qsizetype size) {
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += allByteValues();
    return bytes;
}

class DataPathTest : public SessionFixture {
protected:
    // An active server on COM5 (a test-made device) with clients at indexes 1 and 3.
    void serverWithClientsAtOneAndThree() {
        dev = device(5);
        serialPort(5);
        server();
        activate();
        ASSERT_TRUE(doc->isActive());
        for (int i = 0; i < 3; ++i) {
            clients.push_back(connectedPeer(listeningPort()));
            ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == i + 1; }));
        }
        clients[1]->abort();
        ASSERT_TRUE(waitUntil([&] { return socket(2).State() == 0; }));
        ASSERT_EQ(socket(1).State(), 7);
        ASSERT_EQ(socket(3).State(), 7);
    }
    QByteArray fromDevice(const QByteArray& bytes) {
        writeAll(dev.master.get(), bytes);
        return bytes;
    }

    // Megabytes each way with every byte value through 8 KiB buffers: first with nobody reading
    // (the far side must be held back once the kernel's socket buffers are full, and the
    // session's queues stay within their bounds), then read in small pieces. Nothing may be
    // lost or changed.
    void transferBothWays(int farSide) {
        auto peer = connectedPeer(listeningPort());
        peer->setReadBufferSize(65536);
        ASSERT_TRUE(waitUntil([&] { return socket(1).State() == 7; }));
        QByteArray down = everyByteValue(4 * 1024 * 1024);
        const QByteArray up = down.repeated(4);
        std::reverse(down.begin(), down.end());

        qsizetype upWritten = 0;
        qsizetype downWritten = 0;
        QByteArray upGot;
        QByteArray downGot;
        qint64 largestSendQueue = 0;
        const auto step = [&](bool reading) {
            QCoreApplication::processEvents();
            writeOn(farSide, up, upWritten);
            if (downWritten < down.size() && peer->bytesToWrite() < 65536) {
                const qsizetype n = std::min<qsizetype>(down.size() - downWritten, 16384);
                peer->write(down.constData() + downWritten, n);
                downWritten += n;
            }
            largestSendQueue = std::max(largestSendQueue, socket(1).bytesToSend());
            ASSERT_LE(doc->MyBuffer.count(), 8192);
            if (!reading)
                return;
            upGot += peer->read(4096);
            char buffer[4096];
            const ssize_t n = ::read(farSide, buffer, sizeof buffer);
            if (n > 0)
                downGot.append(buffer, n);
        };
        for (int round = 0; round < 3000; ++round)
            step(false);
        EXPECT_LT(upWritten, up.size()) << "the far side is held back";
        QDeadlineTimer deadline(std::chrono::seconds(60));
        while ((upGot.size() < up.size() || downGot.size() < down.size()) && !deadline.hasExpired())
            step(true);
        EXPECT_TRUE(upGot == up) << upGot.size() << " of " << up.size();
        EXPECT_TRUE(downGot == down) << downGot.size() << " of " << down.size();
        EXPECT_LE(largestSendQueue, 8192);
        EXPECT_EQ(doc->drops().slowClientBytes, 0);
    }

    TestPty dev;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};

TEST_F(DataPathTest, ServerSendsToAllOrToTheFirstClient) {
    serverWithClientsAtOneAndThree();
    const QByteArray both = fromDevice("to both");
    EXPECT_EQ(readUntil(*clients[0], both.size()), both);
    EXPECT_EQ(readUntil(*clients[2], both.size()), both);

    doc->options.ServerSerialOptions = 2;
    fromDevice("first only");
    EXPECT_EQ(readUntil(*clients[0], 10), QByteArray("first only"));
    clients[0]->abort();
    ASSERT_TRUE(waitUntil([&] { return socket(1).State() == 0; }));
    fromDevice("now third");
    EXPECT_EQ(readUntil(*clients[2], 9), QByteArray("now third"));
    EXPECT_EQ(clients[2]->bytesAvailable(), 0) << "the first-only data never reached the third";

    doc->options.ServerSerialOptions = 1; // ignored
    fromDevice("nobody");
    clients[2]->waitForReadyRead(200);
    EXPECT_TRUE(clients[2]->readAll().isEmpty());
    EXPECT_TRUE(doc->MyBuffer.isEmpty());
}

TEST_F(DataPathTest, ServerTakesFromAllOrFromTheFirstClient) {
    serverWithClientsAtOneAndThree();
    clients[0]->write("one,");
    ASSERT_EQ(readExactly(dev.master.get(), 4), QByteArray("one,"));
    clients[2]->write("three");
    ASSERT_EQ(readExactly(dev.master.get(), 5), QByteArray("three"));

    doc->options.ServerTCPOptions = 2;
    clients[2]->write("dropped");
    clients[0]->write("kept");
    EXPECT_EQ(readExactly(dev.master.get(), 4), QByteArray("kept"));
    clients[0]->abort();
    ASSERT_TRUE(waitUntil([&] { return socket(1).State() == 0; }));
    clients[2]->write("passes");
    EXPECT_EQ(readExactly(dev.master.get(), 6), QByteArray("passes"));

    doc->options.ServerTCPOptions = 1;
    globals().PingEnabled = 1;
    globals().PingFrequency = 0; // a pass every 9 quiet ticks
    ticks(3);
    ASSERT_EQ(doc->PingTicks(), 3);
    globals().PingEnabled = 0;
    clients[2]->write("ignored");
    ASSERT_TRUE(waitUntil([&] { return doc->PingTicks() == 0; }));
    EXPECT_EQ(doc->Shape1[1]->fillColor(), kRed);
    EXPECT_TRUE(doc->SerialOutBuffer.isEmpty());
    EXPECT_TRUE(readExactly(dev.master.get(), 1, std::chrono::milliseconds(100)).isEmpty());
}

TEST_F(DataPathTest, WaitingSendsWholePacketsThenTheRestAfterTheTimeout) {
    globals().PacketSize = 100;
    doc->WaitForCr->setValue(1);
    doc->txtTimeoutValue->setText(QStringLiteral("120"));
    serverWithClientsAtOneAndThree();
    QByteArray bytes(250, 'x');
    fromDevice(bytes);
    EXPECT_EQ(readUntil(*clients[0], 200).size(), 200);
    EXPECT_EQ(doc->MyBuffer.count(), 50);
    ticks(2); // 100 ms: not yet
    EXPECT_FALSE(clients[0]->waitForReadyRead(100));
    ticks(1); // 150 ms > 120 ms
    EXPECT_EQ(readUntil(*clients[0], 50).size(), 50);
    EXPECT_TRUE(doc->MyBuffer.isEmpty());
    globals().PacketSize = 2000;
}

// A client keeps serial data while it is not connected and sends it all once it is.
TEST_F(DataPathTest, BufferingWhileDisconnectedThenOneSendOnConnect) {
    dev = device(6);
    serialPort(6);
    const int port = unusedTcpPort();
    client(port);
    doc->BufferSerData->setValue(1);
    activate();
    ASSERT_TRUE(waitUntil([&] { return doc->Timer1.isActive(); })) << "refused: reconnect armed";
    fromDevice("held ");
    fromDevice("bytes");
    ASSERT_TRUE(waitUntil([&] { return doc->MyBuffer.count() == 10; }));
    ticks(10);
    EXPECT_EQ(doc->MyBuffer.count(), 10) << "nobody connected: the flush keeps them";

    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, quint16(port)));
    doc->Timer1_Timer();
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> connection(peer.nextPendingConnection());
    ASSERT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Connected"); }));
    ticks(4);
    EXPECT_EQ(readUntil(*connection, 10), QByteArray("held bytes"));

    // Without buffering, serial input is discarded while nobody is connected.
    connection->abort();
    ASSERT_TRUE(waitUntil([&] { return socket(0).State() == 0; }));
    doc->BufferSerData->setValue(0);
    fromDevice("lost");
    ASSERT_TRUE(waitUntil([&] { return doc->Shape1[0]->fillColor() == kRed; }));
    EXPECT_TRUE(doc->MyBuffer.isEmpty());
}

TEST_F(DataPathTest, ClientOneWayOptionsDropTheirDirection) {
    dev = device(7);
    serialPort(7);
    PeerServer peer;
    client(peer.port());
    doc->options.ClientOptions = 2; // no output to the network
    activate();
    QTcpSocket* connection = peer.nextConnection();
    ASSERT_TRUE(connection);
    fromDevice("stays here");
    connection->write("goes out");
    EXPECT_EQ(readExactly(dev.master.get(), 8), QByteArray("goes out"));
    EXPECT_FALSE(connection->waitForReadyRead(100));
    EXPECT_TRUE(doc->MyBuffer.isEmpty());

    doc->options.ClientOptions = 1; // no output to the serial port
    connection->write("dropped");
    fromDevice("now sent");
    EXPECT_EQ(readUntil(*connection, 8), QByteArray("now sent"));
    EXPECT_TRUE(readExactly(dev.master.get(), 1, std::chrono::milliseconds(100)).isEmpty());
}

TEST_F(DataPathTest, UdpServerAnswersThePeerThatSpokeLast) {
    dev = device(8);
    serialPort(8);
    doc->chkUDP->setValue(1);
    server();
    activate();
    ASSERT_TRUE(doc->isActive());
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    peer.writeDatagram("request", QHostAddress::LocalHost, quint16(listeningPort()));
    EXPECT_EQ(readExactly(dev.master.get(), 7), QByteArray("request"));
    fromDevice("answer");
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingDatagrams(); }));
    QByteArray datagram(int(peer.pendingDatagramSize()), Qt::Uninitialized);
    peer.readDatagram(datagram.data(), datagram.size());
    EXPECT_EQ(datagram, QByteArray("answer"));
}

// A device that goes away leaves the session active; the same name coming back is reopened.
TEST_F(DataPathTest, DeviceThatVanishesIsReopenedWhenItComesBack) {
    dev = device(9);
    serialPort(9);
    server();
    activate();
    ASSERT_TRUE(doc->isActive());
    auto peer = connectedPeer(listeningPort());
    dev.master.reset();
    dev.slave.reset();
    ASSERT_TRUE(waitUntil([&] { return !doc->MSComm1().portOpen(); }));
    EXPECT_TRUE(status(0).startsWith(QStringLiteral("COM Status: Error - ")))
        << status(0).toStdString();
    EXPECT_TRUE(doc->isActive());
    EXPECT_TRUE(doc->SerialReopenTimer.isActive());
    QFile::remove(comLinkPath(9));
    doc->SerialReopenTimer_Timer();
    EXPECT_FALSE(doc->MSComm1().portOpen());

    peer->write("waits for the device");
    dev = device(9);
    doc->SerialReopenTimer_Timer();
    EXPECT_EQ(status(0), QStringLiteral("COM Status: Open"));
    EXPECT_FALSE(doc->SerialReopenTimer.isActive());
    EXPECT_EQ(readExactly(dev.master.get(), 20), QByteArray("waits for the device"));
    fromDevice("back");
    EXPECT_EQ(readUntil(*peer, 4), QByteArray("back"));
}

TEST_F(DataPathTest, MegabytesBothWaysThroughSlowReadersLoseNothing) {
    virtualPort(40);
    server();
    activate();
    UniqueFd app = openApplication(40);
    transferBothWays(app.get());

    doc = std::make_unique<frmDocument>(host); // the same through a real port
    dev = device(41);
    serialPort(41);
    server();
    activate();
    transferBothWays(dev.master.get());
}

// With several clients, one that stops reading misses bytes (logged once) while the others
// get every byte.
TEST_F(DataPathTest, AStalledClientMissesBytesWhileTheOthersGoOn) {
    globals().LogErrors = 1;
    dev = device(42);
    serialPort(42);
    server();
    activate();
    auto fast = connectedPeer(listeningPort());
    auto stalled = connectedPeer(listeningPort());
    stalled->setReadBufferSize(4096);
    ASSERT_TRUE(waitUntil([&] { return doc->ConnectedClients == 2; }));
    const QByteArray sent = everyByteValue(16 * 1024 * 1024);
    qsizetype written = 0;
    QByteArray got;
    QDeadlineTimer deadline(std::chrono::seconds(60));
    while (got.size() < sent.size() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        writeOn(dev.master.get(), sent, written);
        got += fast->readAll();
    }
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size();
    EXPECT_GT(doc->drops().slowClientBytes, 0);
    EXPECT_LE(socket(2).bytesToSend(), 8192);
    EXPECT_EQ(readWholeFile(home.path("home/errorlog.txt")).count("is not taking data"), 1);
    globals().LogErrors = 0;
}

} // namespace
