// A real-port server session with COM port control, against pyserial's RFC 2217 client and
// against plain loopback clients that write the Telnet bytes themselves; the device is a
// test-made pty whose termios the test reads back.
#include "session/ComPortServer.h"
#include "tests/session/SessionFixture.h"

#include <QProcess>
#include <termios.h>

namespace {

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
constexpr int kComPort = 44;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// IAC SB COM-PORT-OPTION code value IAC SE (value without an IAC in it).
QByteArray comPort(int code, const QByteArray& value) {
    return bytes({IAC, SB, kComPort, code}) + value + bytes({IAC, SE});
}

const QByteArray kWillComPort = bytes({IAC, WILL, kComPort});

class ComPortControlTest : public SessionFixture {
protected:
    void serverWithControl(int n) {
        globals().LogErrors = 1;
        dev = device(n);
        serialPort(n);
        options([](IoOptions& o) { o.ComPortControl = 1; });
        server();
        activate();
        ASSERT_TRUE(doc->isActive());
    }
    tcflag_t deviceFlags() const {
        termios t{};
        ::tcgetattr(dev.slave.get(), &t);
        return t.c_cflag;
    }
    static bool gets(QTcpSocket& peer, QByteArray& got, const QByteArray& wanted) {
        return waitUntil([&] {
            got += peer.readAll();
            return got.contains(wanted);
        });
    }

    TestPty dev;
};

struct FramingRow {
    const char* name;
    std::vector<QByteArray> fromClient; // each piece written and taken on its own
    QByteArray toDevice;
    QByteArray fromDevice;
    QByteArray clientGets; // contained in what the client receives (all of it for a raw peer)
    bool raw;
};

std::vector<QByteArray> oneByOne(const QByteArray& all) {
    std::vector<QByteArray> pieces;
    for (char c : all)
        pieces.emplace_back(1, c);
    return pieces;
}

} // namespace

TEST_F(ComPortControlTest, TelnetFramingAndRawPeers) {
    const QByteArray longRequest =
        comPort(1, bytes({0, 0, 0x96, 0}) + QByteArray(2 * 512, 'x')); // 38400, then padding
    const std::vector<FramingRow> rows{
        {"IAC doubled both ways",
         {kWillComPort, "a\xff\xff"
                        "b"},
         "a\xff"
         "b",
         "\xffz",
         "\xff\xffz",
         false},
        {"split at every byte",
         oneByOne(kWillComPort + comPort(1, bytes({0, 0, 0x4b, 0})) +
                  "\xff\xff"
                  "c"),
         "\xff"
         "c",
         {},
         comPort(101, bytes({0, 0, 0x4b, 0})),
         false},
        {"unknown options refused",
         {bytes({IAC, WILL, 24, IAC, DO, 1}), "d"},
         "d",
         {},
         bytes({IAC, DONT, 24, IAC, WONT, 1}),
         false},
        {"raw peer untouched",
         {"\x01\xff\xfb\x2c\xff"},
         "\x01\xff\xfb\x2c\xff",
         QByteArray("\xff\x00\xff", 3),
         QByteArray("\xff\x00\xff", 3),
         true},
        {"over-long subnegotiation dropped", {kWillComPort, longRequest, "e"}, "e", {}, {}, false},
    };
    serverWithControl(9);
    for (const FramingRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto peer = connectedPeer(listeningPort());
        ASSERT_TRUE(clientsBecome(1));
        for (const QByteArray& piece : row.fromClient) {
            peer->write(piece);
            waitUntil([&] { return peer->bytesToWrite() == 0 && socket(1).bytesAvailable() == 0; });
            settle();
        }
        EXPECT_EQ(readExactly(dev.master.get(), row.toDevice.size()), row.toDevice);
        writeAll(dev.master.get(), row.fromDevice);
        QByteArray got;
        EXPECT_TRUE(gets(*peer, got, row.clientGets)) << got.toHex().toStdString();
        if (row.raw) {
            EXPECT_EQ(got, row.clientGets);
        }
        EXPECT_EQ(terminalRate(dev.slave.get()), row.name[0] == 's' ? 19200 : 9600);
        peer->abort();
        ASSERT_TRUE(clientsBecome(0));
    }
}

// Debian's python3-serial opens the port at 19200,O,7,2 and switches DTR off; the device
// follows (a pty shows the rate, the odd-parity and the stop bits; it always has 8 data bits
// and no parity enable), the modem lines read (a pty has none: all off), bytes with 0xFF pass
// both ways, and the session's own settings come back when it leaves.
TEST_F(ComPortControlTest, PyserialSetsTheLineOfARealPort) {
    if (QProcess::execute(QStringLiteral(LUMIVEX_TEST_PYTHON),
                          {QStringLiteral("-c"), QStringLiteral("import serial.rfc2217")}) != 0)
        GTEST_SKIP() << "python3-serial is not installed";
    serverWithControl(7);
    QProcess client;
    client.start(QStringLiteral(LUMIVEX_TEST_PYTHON),
                 {QStringLiteral(LUMIVEX_RFC2217_PEER), QString::number(listeningPort())});
    EXPECT_EQ(readExactly(dev.master.get(), 3, std::chrono::seconds(30)), QByteArray("\xffup"));
    EXPECT_EQ(terminalRate(dev.slave.get()), 19200);
    EXPECT_EQ(deviceFlags() & (PARODD | CSTOPB), tcflag_t(PARODD | CSTOPB));
    EXPECT_FALSE(doc->MSComm1().lineSwitch());
    writeAll(dev.master.get(), "\xff"
                               "down");
    ASSERT_TRUE(waitUntil([&] { return client.state() == QProcess::NotRunning; },
                          std::chrono::seconds(30)));
    const QByteArray out = client.readAllStandardOutput();
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("lines False False False False")) << out.toStdString();
    EXPECT_TRUE(out.contains("read ff646f776e")) << out.toStdString();

    ASSERT_TRUE(clientsBecome(0));
    EXPECT_EQ(terminalRate(dev.slave.get()), 9600);
    EXPECT_EQ(deviceFlags() & (PARODD | CSTOPB), tcflag_t(0));
    EXPECT_TRUE(doc->MSComm1().lineSwitch());
    const QByteArray log = errorLog();
    EXPECT_TRUE(log.contains("Remote set 19200,O,7,2")) << log.toStdString();
    EXPECT_TRUE(log.contains("Remote set DTR off"));
    EXPECT_TRUE(log.contains("the session's settings are back, 9600,N,8,1"));
}

TEST_F(ComPortControlTest, WhatOneClientSetsHoldsForAllUntilTheLastLeaves) {
    serverWithControl(8);
    auto first = connectedPeer(listeningPort());
    auto second = connectedPeer(listeningPort());
    ASSERT_TRUE(clientsBecome(2));
    const QByteArray rate38400 = bytes({0, 0, 0x96, 0});
    QByteArray firstGot, secondGot;
    first->write(kWillComPort + comPort(1, rate38400) + comPort(3, bytes({3})));
    EXPECT_TRUE(gets(*first, firstGot, comPort(103, bytes({3}))));
    EXPECT_EQ(terminalRate(dev.slave.get()), 38400);
    // The second asks for what is in force (0) and hears what the first set.
    second->write(kWillComPort + comPort(1, bytes({0, 0, 0, 0})) + comPort(3, bytes({0})));
    EXPECT_TRUE(gets(*second, secondGot, comPort(101, rate38400) + comPort(103, bytes({3}))));

    first->abort();
    ASSERT_TRUE(clientsBecome(1));
    EXPECT_EQ(terminalRate(dev.slave.get()), 38400) << "kept while a client remains";
    second->abort();
    ASSERT_TRUE(clientsBecome(0));
    EXPECT_EQ(terminalRate(dev.slave.get()), 9600);
    EXPECT_TRUE(errorLog().contains("Remote set 38400,E,8,1"));
}

// A client that says nothing is given the device's data, raw, once its grace has passed.
TEST_F(ComPortControlTest, ASilentClientGetsRawDataAfterItsGrace) {
    serverWithControl(10);
    auto peer = connectedPeer(listeningPort());
    ASSERT_TRUE(clientsBecome(1));
    // What the device sends while the client's framing is unknown waits for it.
    writeAll(dev.master.get(), "early");
    ASSERT_TRUE(waitUntil([&] { return doc->MyBufferCount() == 5; }));
    ticks(ComPortServer::graceTicks);
    writeAll(dev.master.get(), "\xff"
                               "late");
    EXPECT_EQ(readUntil(*peer, 10), QByteArray("early\xff"
                                               "late"));
}
