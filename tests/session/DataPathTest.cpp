#include "tests/session/SessionFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <unistd.h>

namespace {

// Writes the next piece of bytes that the fd takes without blocking.
void writeOn(int fd, const QByteArray& bytes, qsizetype& written) {
    const ssize_t n = ::write(fd, bytes.constData() + written,
                              size_t(std::min<qsizetype>(bytes.size() - written, 16384)));
    written += std::max<ssize_t>(n, 0);
}

class DataPathTest : public SessionFixture {
protected:
    void sendsToDevice(QTcpSocket& peer, const QByteArray& bytes) {
        peer.write(bytes);
        EXPECT_EQ(toDevice(bytes.size()), bytes);
    }

    // Megabytes each way through 8 KiB buffers, first with nobody reading (the far side must be
    // held back, the queues stay bounded), then read in small pieces: nothing lost or changed.
    void transferBothWays(int farSide) {
        auto peer = connectedPeer(listeningPort());
        peer->setReadBufferSize(65536);
        ASSERT_TRUE(stateBecomes(1, 7));
        QByteArray down = allByteValues().repeated(16 * 1024);
        const QByteArray up = down.repeated(4);
        std::reverse(down.begin(), down.end());
        qsizetype upWritten = 0, downWritten = 0;
        QByteArray upGot, downGot;
        qint64 largestSendQueue = 0;
        const auto step = [&](bool reading) {
            QCoreApplication::processEvents();
            writeOn(farSide, up, upWritten);
            if (downWritten < down.size() && peer->bytesToWrite() < 65536) {
                const qsizetype n = std::min<qsizetype>(down.size() - downWritten, 16384);
                downWritten += peer->write(down.constData() + downWritten, n);
            }
            largestSendQueue = std::max(largestSendQueue, socket(1).bytesToSend());
            ASSERT_LE(doc->MyBufferCount(), 8192);
            if (!reading)
                return;
            upGot += peer->read(4096);
            char buffer[4096];
            downGot.append(buffer, std::max<ssize_t>(::read(farSide, buffer, sizeof buffer), 0));
        };
        for (int round = 0; round < 3000; ++round)
            step(false);
        EXPECT_LT(upWritten, up.size()) << "the far side is held back";
        QDeadlineTimer deadline(std::chrono::seconds(60));
        while ((upGot.size() < up.size() || downGot.size() < down.size()) && !deadline.hasExpired())
            step(true);
        EXPECT_TRUE(upGot == up && downGot == down) << upGot.size() << ", " << downGot.size();
        EXPECT_LE(largestSendQueue, 8192);
    }
};

// Serial data goes to all clients or to the first only, network data comes from all or from
// the first only, and the next one takes the first's place when it leaves; 1 ignores both,
// yet what it ignores still restarts the quiet count before a ping.
TEST_F(DataPathTest, ServerOptionsChooseTheClientsOfEachDirection) {
    serverOnDevice(5);
    Peers clients = connectClients(3);
    clients[1]->abort(); // clients at indexes 1 and 3
    ASSERT_TRUE(stateBecomes(2, 0));
    fromDevice("to both");
    EXPECT_EQ(readUntil(*clients[0], 7) + readUntil(*clients[2], 7), QByteArray("to bothto both"));
    sendsToDevice(*clients[0], "one,");
    sendsToDevice(*clients[2], "three");

    options([](IoOptions& o) { o.ServerSerialOptions = o.ServerTCPOptions = 2; });
    fromDevice("first only");
    EXPECT_EQ(readUntil(*clients[0], 10), QByteArray("first only"));
    clients[2]->write("dropped");
    sendsToDevice(*clients[0], "kept");
    clients[0]->abort();
    ASSERT_TRUE(stateBecomes(1, 0));
    fromDevice("now third");
    EXPECT_EQ(readUntil(*clients[2], 9), QByteArray("now third"));
    sendsToDevice(*clients[2], "passes");

    options([](IoOptions& o) { o.ServerSerialOptions = o.ServerTCPOptions = 1; });
    globals().PingEnabled = 1;
    ticks(3);
    ASSERT_EQ(doc->PingTicks(), 3);
    globals().PingEnabled = 0;
    clients[2]->write("ignored");
    ASSERT_TRUE(waitUntil([&] { return doc->PingTicks() == 0; }));
    fromDevice("nobody");
    ASSERT_TRUE(waitUntil([&] { return doc->Shape1[0]->fillColor() == kRed; }));
    EXPECT_FALSE(clients[2]->waitForReadyRead(200));
    EXPECT_EQ(doc->MyBufferCount() + doc->SerialOutBufferCount(), 0);
    EXPECT_TRUE(deviceGetsNothing());
}

TEST_F(DataPathTest, WaitingSendsWholePacketsThenTheRestAfterTheTimeout) {
    globals().PacketSize = 100;
    doc->WaitForCr->setValue(1);
    doc->txtTimeoutValue->setText(QStringLiteral("120"));
    serverOnDevice(5);
    Peers peer = connectClients(1);
    fromDevice(QByteArray(250, 'x'));
    EXPECT_EQ(readUntil(*peer[0], 200).size(), 200);
    ticks(2); // 100 ms: not yet
    EXPECT_FALSE(peer[0]->waitForReadyRead(100));
    EXPECT_EQ(doc->MyBufferCount(), 50);
    ticks(1); // 150 ms > 120 ms
    EXPECT_EQ(readUntil(*peer[0], 50).size(), 50);
}

// A refused client is logged and retried; it holds serial data while disconnected and sends
// it once connected; its one-way options drop a direction; without buffering, serial input is
// dropped while disconnected.
TEST_F(DataPathTest, ClientBuffersWhileDisconnectedAndDropsWhatItsOptionsSay) {
    dev = device(6);
    serialPort(6);
    const int port = unusedTcpPort();
    client(port);
    doc->BufferSerData->setValue(1);
    activate();
    ASSERT_TRUE(waitUntil([&] { return isReconnecting(); }));
    EXPECT_TRUE(errorLog().contains("refused"));
    fromDevice("held ");
    fromDevice("bytes");
    ASSERT_TRUE(waitUntil([&] { return doc->MyBufferCount() == 10; }));
    ticks(10);
    EXPECT_EQ(doc->MyBufferCount(), 10) << "nobody connected: the flush keeps them";
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost, quint16(port)));
    doc->Timer1_Timer();
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> connection(peer.nextPendingConnection());
    ASSERT_TRUE(stateBecomes(0, 7));
    ticks(4);
    EXPECT_EQ(readUntil(*connection, 10), QByteArray("held bytes"));

    options([](IoOptions& o) { o.ClientOptions = 2; }); // no output to the network
    fromDevice("stays here");
    sendsToDevice(*connection, "goes out");
    EXPECT_FALSE(connection->waitForReadyRead(100));
    EXPECT_EQ(doc->MyBufferCount(), 0);
    options([](IoOptions& o) { o.ClientOptions = 1; }); // no output to the serial port
    connection->write("dropped");
    fromDevice("now sent");
    EXPECT_EQ(readUntil(*connection, 8), QByteArray("now sent"));
    EXPECT_TRUE(deviceGetsNothing());

    options([](IoOptions& o) { o.ClientOptions = 0; });
    connection->abort();
    ASSERT_TRUE(stateBecomes(0, 0));
    doc->BufferSerData->setValue(0);
    fromDevice("lost");
    ASSERT_TRUE(waitUntil([&] { return doc->Shape1[0]->fillColor() == kRed; }));
    EXPECT_EQ(doc->MyBufferCount(), 0);
}

// A UDP client takes datagrams only from its host; a UDP server answers whoever spoke last,
// also right after the session was a client; what the socket dropped is logged at the end.
TEST_F(DataPathTest, UdpServerAnswersThePeerThatSpokeLast) {
    doc->chkUDP->setValue(1);
    dev = device(8);
    serialPort(8);
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    const quint16 clientPort = peer.localPort(); // the client binds the port it sends to
    peer.close();
    ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
    client(clientPort);
    doc->IPAddress->setText(QStringLiteral("127.0.0.2"));
    activate();
    ASSERT_TRUE(doc->isActive());
    peer.writeDatagram("stray", QHostAddress::LocalHost, clientPort);
    ASSERT_TRUE(waitUntil([&] { return socket(0).droppedDatagrams() == 1; }));
    activate(); // De-Activate

    server();
    activate();
    ASSERT_TRUE(doc->isActive());
    fromDevice("early"); // nobody has spoken yet
    ASSERT_TRUE(waitUntil([&] { return errorLog().contains("Datagram not sent"); }));
    peer.writeDatagram("request", QHostAddress::LocalHost, quint16(listeningPort()));
    EXPECT_EQ(toDevice(7), QByteArray("request"));
    fromDevice("answer");
    ASSERT_TRUE(waitUntil([&] { return peer.hasPendingDatagrams(); }));
    EXPECT_EQ(peer.receiveDatagram().data(), QByteArray("answer"));
    activate();
    EXPECT_EQ(errorLog().count("Datagrams dropped by the UDP socket (from other hosts, or with "
                               "nowhere to go): 1"),
              2);
}

// A datagram that does not fit is dropped whole; the first of a run is logged, and the count
// once one fits again.
TEST_F(DataPathTest, DatagramsThatDoNotFitAreDroppedWholeAndLogged) {
    smallHeldBuffers();
    doc->chkUDP->setValue(1);
    virtualServer(43);
    QUdpSocket peer;
    const auto send = [&](const QByteArray& datagram) {
        peer.writeDatagram(datagram, QHostAddress::LocalHost, quint16(listeningPort()));
    };
    for (const char fill : {'a', 'b', 'c'})
        send(QByteArray(600, fill));
    ASSERT_TRUE(waitUntil(
        [&] { return errorLog().contains("Lumivex Error: A datagram of 600 bytes was dropped"); }));
    UniqueFd app = openApplication(43);
    EXPECT_EQ(readExactly(app.get(), 600), QByteArray(600, 'a'));
    send("fits");
    EXPECT_EQ(readExactly(app.get(), 4), QByteArray("fits"));
    EXPECT_TRUE(errorLog().contains("2 datagrams were dropped in all"));
}

// A device that goes away leaves the session active; the same name coming back is reopened
// and gets what the network sent meanwhile.
TEST_F(DataPathTest, DeviceThatVanishesIsReopenedWhenItComesBack) {
    serverOnDevice(9);
    auto peer = connectedPeer(listeningPort());
    dev = TestPty();
    ASSERT_TRUE(waitUntil([&] { return !doc->MSComm1().portOpen(); }));
    SerialSide& serial = doc->bridge()->serial();
    EXPECT_TRUE(doc->isActive() && serial.isReopening() &&
                status(0).startsWith(QStringLiteral("COM Status: Error - ")))
        << status(0).toStdString();
    QFile::remove(comLinkPath(9));
    serial.reopenTick();
    EXPECT_FALSE(doc->MSComm1().portOpen());

    peer->write("waits for the device");
    dev = device(9);
    serial.reopenTick();
    EXPECT_TRUE(doc->MSComm1().portOpen() && !serial.isReopening());
    EXPECT_EQ(toDevice(20), QByteArray("waits for the device"));
    fromDevice("back");
    EXPECT_EQ(readUntil(*peer, 4), QByteArray("back"));
}

// Unplugged a hundred times while the device is sending, and plugged in again under the same
// name each time: the session opens every new device at its reopen tick, the new device gets
// whole what the network sent meanwhile, and the network gets of each piece the device sent
// one unbroken run, in order, short only by what the pty itself drops at a hang-up (what lies
// beyond its line buffer, at most its 64 KiB of buffers).
TEST_F(DataPathTest, ADeviceUnpluggedMidTransferAHundredTimesLosesNothingTaken) {
    serverOnDevice(43);
    auto peer = connectedPeer(listeningPort());
    ASSERT_TRUE(stateBecomes(1, 7));
    SerialSide& serial = doc->bridge()->serial();
    constexpr int kCycles = 100, kPiece = 96 * 1024; // more than a pty holds
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        ASSERT_TRUE(writeAll(dev.master.get(), QByteArray(kPiece, char(cycle))));
        dev = TestPty(); // unplugged with the end of the piece in flight
        ASSERT_TRUE(waitUntil([&] { return !doc->MSComm1().portOpen(); })) << cycle;
        const QByteArray meanwhile(500, char(cycle));
        peer->write(meanwhile);
        ASSERT_TRUE(waitUntil([&] { return doc->SerialOutBufferCount() == meanwhile.size(); }));
        dev = device(43);
        serial.reopenTick();
        ASSERT_TRUE(doc->MSComm1().portOpen() && !serial.isReopening()) << cycle;
        ASSERT_EQ(toDevice(meanwhile.size()), meanwhile) << cycle;
    }
    fromDevice(QByteArray(1, char(kCycles + 1)));
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        got += peer->readAll();
        return got.endsWith(char(kCycles + 1));
    }));
    std::vector<qsizetype> runs;
    for (qsizetype at = 0; at < got.size(); at += runs.back()) {
        ASSERT_EQ(got[at], char(runs.size() + 1)) << "a piece missing or out of order at " << at;
        runs.push_back(1);
        while (at + runs.back() < got.size() && got[at + runs.back()] == got[at])
            ++runs.back();
    }
    ASSERT_EQ(runs.size(), size_t(kCycles + 1));
    for (int cycle = 1; cycle <= kCycles; ++cycle)
        EXPECT_TRUE(runs[cycle - 1] <= kPiece && runs[cycle - 1] >= kPiece - 64 * 1024)
            << cycle << ": " << runs[cycle - 1];
}

TEST_F(DataPathTest, MegabytesBothWaysThroughSlowReadersLoseNothing) {
    virtualServer(40);
    UniqueFd app = openApplication(40);
    transferBothWays(app.get());

    renew(); // the same through a real port
    serverOnDevice(41);
    transferBothWays(dev.master.get());
}

// With several clients, one that stops reading holds the others and the device back, without
// a hole in anyone's stream, until it has taken nothing for the bound; then it is closed and
// logged, and the others get everything.
TEST_F(DataPathTest, AClientThatStopsReadingHoldsTheOthersUntilItIsClosed) {
    serverOnDevice(42);
    Peers clients = connectClients(2);
    QTcpSocket &fast = *clients[0], &stalled = *clients[1];
    stalled.setReadBufferSize(4096);
    const QByteArray sent = patternBytes(24 * 1024 * 1024);
    qsizetype written = 0;
    QByteArray got;
    const auto pump = [&] {
        const qsizetype before = written + got.size();
        QCoreApplication::processEvents();
        writeOn(dev.master.get(), sent, written);
        got += fast.readAll();
        return written + got.size() > before;
    };
    QDeadlineTimer deadline(std::chrono::seconds(60));
    for (int quiet = 0; quiet < 500 && !deadline.hasExpired();)
        quiet = pump() ? 0 : quiet + 1;
    ASSERT_LT(written, sent.size()) << "the device is held back";
    EXPECT_TRUE(sent.startsWith(got));

    ticks(199);
    EXPECT_EQ(doc->ConnectedClients(), 2) << "not before the bound";
    ticks(1);
    EXPECT_EQ(doc->ConnectedClients(), 1);
    EXPECT_TRUE(errorLog().contains("Client 127.0.0.1:" + QByteArray::number(stalled.localPort()) +
                                    " closed: it took no data for 10 s"));
    while (got.size() < sent.size() && !deadline.hasExpired())
        pump();
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size();
    stalled.setReadBufferSize(0);
    QByteArray stalledGot;
    waitUntil([&] {
        stalledGot += stalled.readAll();
        return stalled.state() == QAbstractSocket::UnconnectedState;
    });
    EXPECT_TRUE(sent.startsWith(stalledGot)) << "what it got has no hole";
}

} // namespace
