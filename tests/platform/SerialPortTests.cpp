// The serial port component on a pty pair the test makes: the slave, mapped as COMn through a
// ports folder in a temporary directory, is the device; the master is the far side.

#include "platform/ComPortNames.h"
#include "platform/SerialPort.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/file.h>
#include <termios.h>

namespace {

using namespace std::chrono_literals;

// Whether ptys on this kernel keep a data size and parity other than 8N (newer kernels force
// 8 data bits without parity on a pty); only then can the test read those back.
bool ptyKeepsLineFormat() {
    const TestPty probe = TestPty::open();
    termios tio{};
    ::tcgetattr(probe.slave.get(), &tio);
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB;
    ::tcsetattr(probe.slave.get(), TCSANOW, &tio);
    ::tcgetattr(probe.slave.get(), &tio);
    return (tio.c_cflag & CSIZE) == CS7 && (tio.c_cflag & PARENB) != 0;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.master.valid());
        ASSERT_TRUE(mapCom(3, pty.slavePath));
        pty.slave.reset(); // the port under test is the device's only opener
        ASSERT_TRUE(port->setCommPort(3).ok());
    }

    bool mapCom(int n, const QString& target) {
        return QFile::link(target, dir.path() + QStringLiteral("/COM%1").arg(n));
    }

    termios farSide() const {
        termios tio{};
        // Terminal attributes read through the master are the slave's.
        ::tcgetattr(pty.master.get(), &tio);
        return tio;
    }

    void openPort() {
        const ComponentResult opened = port->setPortOpen(true);
        ASSERT_TRUE(opened.ok()) << opened.description.toStdString();
        ASSERT_TRUE(port->portOpen());
    }

    QTemporaryDir dir;
    ScopedEnv portsFolder{"LUMIVEX_PORTS", QFile::encodeName(dir.path())};
    TestPty pty = TestPty::open();
    std::unique_ptr<SerialPort> port = createSerialPort();
};

// ---- settings text --------------------------------------------------------------------

struct SettingsRow {
    const char* text;
    int handshaking;
    int rate;
    tcflag_t dataBits;
    bool parity;
    bool odd;
    bool markSpace;
    bool twoStops;
    bool rtsCts;
    bool xonXoff;
};

// Applied one after another on one open port, so each row also checks that nothing of the
// row before it is left behind (Mark then Even must clear CMSPAR).
const SettingsRow settingsRows[] = {
    {"9600,N,8,1", 0, 9600, CS8, false, false, false, false, false, false},
    {"1200,M,7,2", 0, 1200, CS7, true, true, true, true, false, false},
    {"115200,E,7,1.5", 0, 115200, CS7, true, false, false, true, false, false},
    {"14400,S,8,1", 2, 14400, CS8, true, false, true, false, true, false},
    {"28800,O,5,1.5", 1, 28800, CS5, true, true, false, true, false, true},
    {"230400,s,6,2", 0, 230400, CS6, true, false, true, true, false, false},
    {"460800,N,8,1", 2, 460800, CS8, false, false, false, false, true, false},
    {"921600,e,8,1", 1, 921600, CS8, true, false, false, false, false, true},
    {" 110 , O , 7 , 2 ", 0, 110, CS7, true, true, false, true, false, false},
};

TEST_F(SerialPortTest, SettingsReachTheDevice) {
    const bool formatVisible = ptyKeepsLineFormat();
    openPort();
    for (const SettingsRow& row : settingsRows) {
        SCOPED_TRACE(row.text);
        ASSERT_TRUE(port->setSettings(QString::fromLatin1(row.text)).ok());
        ASSERT_TRUE(port->setHandshaking(row.handshaking).ok());
        const termios tio = farSide();
        EXPECT_EQ(terminalRate(pty.master.get()), row.rate);
        if (formatVisible) {
            EXPECT_EQ(tio.c_cflag & CSIZE, row.dataBits);
            EXPECT_EQ((tio.c_cflag & PARENB) != 0, row.parity);
        }
        EXPECT_EQ((tio.c_cflag & PARODD) != 0, row.odd);
        EXPECT_EQ((tio.c_cflag & CMSPAR) != 0, row.markSpace);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row.twoStops);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, row.rtsCts);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, row.xonXoff);
    }
}

TEST_F(SerialPortTest, EveryListedRateReachesTheDevice) {
    openPort();
    for (int rate : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600,
                     115200, 230400, 460800, 921600}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(port->setSettings(QStringLiteral("%1,N,8,1").arg(rate)).ok());
        EXPECT_EQ(terminalRate(pty.master.get()), rate);
    }
}

TEST_F(SerialPortTest, SettingsGivenBeforeOpenAreAppliedAtOpen) {
    ASSERT_TRUE(port->setSettings(QStringLiteral("19200,M,7,1.5")).ok());
    ASSERT_TRUE(port->setHandshaking(2).ok());
    port->setLineSwitch(true); // a pty has no DTR: not an open failure
    openPort();
    const termios tio = farSide();
    EXPECT_EQ(terminalRate(pty.master.get()), 19200);
    if (ptyKeepsLineFormat()) {
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS7));
    }
    EXPECT_TRUE(tio.c_cflag & CMSPAR);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_EQ(port->settings(), QStringLiteral("19200,M,7,1.5"));
}

TEST_F(SerialPortTest, MalformedSettingsFailAndChangeNothing) {
    ASSERT_TRUE(port->setSettings(QStringLiteral("4800,E,7,2")).ok());
    openPort();
    for (const char* bad : {"", "9600", "9600,N,8", "9600,N,8,1,1", "abc,N,8,1", "0,N,8,1",
                            "-9600,N,8,1", "9600,X,8,1", "9600,NN,8,1", "9600,N,9,1", "9600,N,4,1",
                            "9600,N,8,3", "9600,N,8,1.6", "99999999999,N,8,1"}) {
        SCOPED_TRACE(bad);
        const ComponentResult result = port->setSettings(QString::fromLatin1(bad));
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.description.isEmpty());
        EXPECT_EQ(port->settings(), QStringLiteral("4800,E,7,2"));
        EXPECT_EQ(terminalRate(pty.master.get()), 4800);
    }
}

TEST_F(SerialPortTest, OutOfRangeValuesAreRefused) {
    EXPECT_FALSE(port->setCommPort(0).ok());
    EXPECT_FALSE(port->setCommPort(-4).ok());
    EXPECT_FALSE(port->setCommPort(maxComPortNumber + 1).ok());
    EXPECT_EQ(port->commPort(), 3);
    EXPECT_FALSE(port->setHandshaking(3).ok());
    EXPECT_FALSE(port->setInBufferSize(0).ok());
    EXPECT_FALSE(port->setOutBufferSize(-1).ok());
    openPort();
    const ComponentResult whileOpen = port->setCommPort(4);
    EXPECT_EQ(whileOpen.number, SerialPort::PortAlreadyOpen);
    EXPECT_EQ(port->commPort(), 3);
    EXPECT_EQ(port->setPortOpen(true).number, SerialPort::PortAlreadyOpen);
}

// ---- receive and transmit -------------------------------------------------------------

TEST_F(SerialPortTest, ReceivedBytesRaiseEventsAndCanBeDiscarded) {
    ASSERT_TRUE(port->setInBufferSize(8192).ok());
    port->setInputMode(1);
    openPort();
    QSignalSpy events(port.get(), &SerialPort::OnComm);

    ASSERT_TRUE(writeAll(pty.master.get(), allByteValues()));
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        while (port->inBufferCount() > 0)
            got += port->input();
        return got.size() >= 256;
    }));
    EXPECT_EQ(got, allByteValues());
    ASSERT_GE(events.count(), 1);
    EXPECT_EQ(port->commEvent(), int(SerialPort::EventReceive));

    ASSERT_TRUE(writeAll(pty.master.get(), QByteArray(100, 'x')));
    ASSERT_TRUE(waitUntil([&] { return port->inBufferCount() > 0; }));
    port->setInBufferCount(0);
    EXPECT_EQ(port->inBufferCount(), 0);
    EXPECT_TRUE(port->input().isEmpty());
}

TEST_F(SerialPortTest, FullReceiveQueueHoldsTheSenderBack) {
    ASSERT_TRUE(port->setInBufferSize(1024).ok());
    openPort();
    // Nobody takes input: the queue fills to its size and then the device's own buffers fill,
    // until the far side can write no more.
    const QByteArray block(4096, 'r');
    qsizetype written = 0;
    waitUntil(
        [&] {
            const ssize_t n = ::write(pty.master.get(), block.constData(), block.size());
            if (n > 0)
                written += n;
            return n < 0 && errno == EAGAIN && port->inBufferCount() >= 1024;
        },
        5000ms);
    EXPECT_EQ(port->inBufferCount(), 1024);
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        got += port->input();
        return got.size() >= written;
    }));
    EXPECT_EQ(got.size(), written);
    EXPECT_EQ(got.count('r'), written);
}

TEST_F(SerialPortTest, TransmitQueueCountsBytesNotYetSent) {
    ASSERT_TRUE(port->setOutBufferSize(8192).ok());
    EXPECT_EQ(port->outBufferSize(), 8192);
    EXPECT_EQ(port->output(QByteArray("x")).number, SerialPort::PortNotOpen);
    openPort();
    EXPECT_EQ(port->outBufferCount(), 0);

    QByteArray sent;
    for (int i = 0; i < 1024; ++i)
        sent += allByteValues();
    // The queue takes at most its free space; the rest is the caller's until room comes back.
    int taken = 0;
    ASSERT_TRUE(port->output(sent, &taken).ok());
    EXPECT_EQ(taken, 8192);
    EXPECT_LE(port->outBufferCount(), 8192);
    qsizetype offered = taken;
    QObject::connect(port.get(), &SerialPort::transmitRoom, [&] {
        int more = 0;
        port->output(sent.mid(offered), &more);
        EXPECT_LE(port->outBufferCount(), 8192);
        offered += more;
    });
    const QByteArray got = readExactly(pty.master.get(), sent.size());
    EXPECT_EQ(got.size(), sent.size()) << offered;
    EXPECT_TRUE(got == sent);
    EXPECT_TRUE(waitUntil([&] { return port->outBufferCount() == 0; }));
}

// ---- opening --------------------------------------------------------------------------

TEST_F(SerialPortTest, OpenFailuresSayWhy) {
    ASSERT_TRUE(port->setCommPort(200).ok());
    ComponentResult result = port->setPortOpen(true);
    EXPECT_EQ(result.number, SerialPort::DeviceUnavailable);
    EXPECT_EQ(result.description, QStringLiteral("COM200: no such device /dev/ttyS199"));
    EXPECT_FALSE(port->portOpen());

    ASSERT_TRUE(mapCom(4, dir.path() + QStringLiteral("/unplugged")));
    ASSERT_TRUE(port->setCommPort(4).ok());
    result = port->setPortOpen(true);
    EXPECT_EQ(result.description,
              QStringLiteral("COM4: no such device %1/unplugged").arg(dir.path()));

    const QString plainFile = dir.path() + QStringLiteral("/plain");
    ASSERT_TRUE(writeWholeFile(plainFile, "not a terminal"));
    ASSERT_TRUE(mapCom(5, plainFile));
    ASSERT_TRUE(port->setCommPort(5).ok());
    result = port->setPortOpen(true);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.description.startsWith(QStringLiteral("COM5: cannot open ")))
        << result.description.toStdString();
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(port->lastError(), result.description);
}

TEST_F(SerialPortTest, SecondOpenerIsRefusedAsInUse) {
    openPort();
    auto second = createSerialPort();
    ASSERT_TRUE(second->setCommPort(3).ok());
    ComponentResult result = second->setPortOpen(true);
    EXPECT_EQ(result.number, SerialPort::DeviceUnavailable);
    EXPECT_EQ(result.description,
              QStringLiteral("COM3: in use by another program (%1)").arg(pty.slavePath));
    EXPECT_FALSE(second->portOpen());

    // Another name for the same device is the same device.
    ASSERT_TRUE(mapCom(8, pty.slavePath));
    ASSERT_TRUE(second->setCommPort(8).ok());
    result = second->setPortOpen(true);
    EXPECT_EQ(result.description,
              QStringLiteral("COM8: in use by another program (%1)").arg(pty.slavePath));

    // Other programs see the device locked as well: exclusive mode refuses their open, and
    // root, whom it lets pass, finds the lock taken.
    const UniqueFd other = openTerminal(pty.slavePath);
    if (other.valid())
        EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    else
        EXPECT_EQ(errno, EBUSY);

    // Closed, the device is free again for the next opener.
    ASSERT_TRUE(port->setPortOpen(false).ok());
    EXPECT_TRUE(second->setPortOpen(true).ok());
}

TEST_F(SerialPortTest, DeviceThatGoesAwayIsReportedOnceAndClosed) {
    openPort();
    QSignalSpy events(port.get(), &SerialPort::OnComm);
    int goneEvents = 0;
    QObject::connect(port.get(), &SerialPort::OnComm, [&] {
        if (port->commEvent() == SerialPort::EventDeviceGone)
            ++goneEvents;
    });

    pty.master.reset(); // the device is unplugged
    ASSERT_TRUE(waitUntil([&] { return goneEvents > 0; }));
    EXPECT_FALSE(port->portOpen());
    EXPECT_TRUE(port->lastError().startsWith(QStringLiteral("COM3: device gone")));
    // No further reports, and no tight loop of them.
    EXPECT_FALSE(waitUntil([&] { return events.count() > 1; }, 300ms));
    EXPECT_EQ(goneEvents, 1);

    // Reopening looks the mapping up again: gone now, then back on another device. (The old
    // pts number is not tried again: another process may have it already.)
    const QString com3 = dir.path() + QStringLiteral("/COM3");
    ASSERT_TRUE(QFile::remove(com3));
    ASSERT_TRUE(mapCom(3, dir.path() + QStringLiteral("/ttyUSB0")));
    EXPECT_EQ(port->setPortOpen(true).description,
              QStringLiteral("COM3: no such device %1/ttyUSB0").arg(dir.path()));
    TestPty replacement = TestPty::open();
    ASSERT_TRUE(QFile::remove(com3));
    ASSERT_TRUE(mapCom(3, replacement.slavePath));
    openPort();
    EXPECT_EQ(port->devicePath(), replacement.slavePath);
    ASSERT_TRUE(port->output(QByteArray("back")).ok());
    EXPECT_EQ(readExactly(replacement.master.get(), 4), QByteArray("back"));
}

} // namespace
