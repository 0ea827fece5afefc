// The serial port component on a test-made pty pair: the slave, mapped as COMn, is the device.

#include "platform/ComPortNames.h"
#include "platform/SerialPort.h"
#include "platform/linux/SyscallDeadline.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

using namespace std::chrono_literals;

TEST(ComPortNames, ReadsComNumbers) {
    const std::pair<const char*, int> rows[] = {{"com12", 12},   {"COM65535", 65535}, {"COM0", 0},
                                                {"COM65536", 0}, {"COM5x", 0},        {" COM5", 0}};
    for (const auto& [name, number] : rows)
        EXPECT_EQ(comPortNumber(QString::fromLatin1(name)), number) << name;
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex")), 5);
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex~")), 0);
}

// Newer kernels force 8N on a pty: only where they do not can the test read those bits back.
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
        ASSERT_TRUE(dir.isValid() && pty.master.valid() &&
                    QFile::link(pty.slavePath, comLinkPath(3)));
        pty.slave.reset(); // the port under test is the device's only opener
        ASSERT_TRUE(port->setCommPort(3).ok());
    }

    void openPort() {
        const ComponentResult opened = port->setPortOpen(true);
        ASSERT_TRUE(opened.ok() && port->portOpen()) << opened.description.toStdString();
    }

    QTemporaryDir dir;
    ScopedEnv portsFolder{"LUMIVEX_PORTS", QFile::encodeName(dir.path())};
    TestPty pty = TestPty::open();
    std::unique_ptr<SerialPort> port = createSerialPort();
};

TEST_F(SerialPortTest, SettingsReachTheDeviceAndBadValuesChangeNothing) {
    for (int bad : {0, maxComPortNumber + 1})
        EXPECT_FALSE(port->setCommPort(bad).ok()) << bad;
    EXPECT_FALSE(port->setHandshaking(3).ok() || port->setInBufferSize(0).ok() ||
                 port->setOutBufferSize(-1).ok());
    // Row 1 is given before the open; each later one must clear what the one before set (Mark
    // then Even: CMSPAR). 14400 and 28800 have no B constant.
    const struct {
        const char* text;
        int handshaking, rate;
        tcflag_t cflag, iflag;
    } rows[] = {
        {"14400,S,8,1", 2, 14400, CS8 | PARENB | CMSPAR | CRTSCTS, 0},
        {"110,N,8,1", 0, 110, CS8, 0},
        {" 28800 , o , 5 , 1.5 ", 1, 28800, CS5 | PARENB | PARODD | CSTOPB, IXON},
        {"1200,M,7,2", 0, 1200, CS7 | PARENB | PARODD | CMSPAR | CSTOPB, 0},
        {"115200,E,7,1.5", 0, 115200, CS7 | PARENB | CSTOPB, 0},
        {"921600,N,6,1", 0, 921600, CS6, 0},
    };
    const bool formatVisible = ptyKeepsLineFormat();
    port->setLineSwitch(true); // a pty has no DTR: not an open failure
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_TRUE(port->setSettings(QString::fromLatin1(row.text)).ok());
        ASSERT_TRUE(port->setHandshaking(row.handshaking).ok());
        if (!port->portOpen())
            openPort();
        EXPECT_EQ(port->settings(), QString::fromLatin1(row.text).remove(' ').toUpper());
        termios tio{};
        ::tcgetattr(pty.master.get(), &tio); // read through the master, they are the slave's
        EXPECT_EQ(terminalRate(pty.master.get()), row.rate);
        const tcflag_t shown =
            PARODD | CMSPAR | CSTOPB | CRTSCTS | (formatVisible ? tcflag_t(CSIZE | PARENB) : 0);
        EXPECT_EQ(tio.c_cflag & shown, row.cflag & shown);
        EXPECT_EQ(tio.c_iflag & IXON, row.iflag);
    }
    for (const char* bad :
         {"9600,N,8", "5000000,N,8,1", "9600,Q,8,1", "9600,N,9,1", "9600,N,8,1.0"})
        EXPECT_FALSE(port->setSettings(QString::fromLatin1(bad)).ok()) << bad;
    EXPECT_EQ(port->settings(), QStringLiteral("921600,N,6,1"));
    EXPECT_EQ(
        std::tuple(port->setCommPort(4).number, port->commPort(), port->setPortOpen(true).number),
        std::tuple(SerialPort::PortAlreadyOpen, 3, SerialPort::PortAlreadyOpen));
}

// Input discarded is gone, and an idle port wakes nothing. (The queue's bound is below, where a
// device goes away; that a full queue holds the sender back, the session's megabytes test.)
TEST_F(SerialPortTest, DiscardedInputIsGoneAndAnIdlePortWakesNothing) {
    port->setInputMode(1);
    openPort();
    ASSERT_TRUE(writeAll(pty.master.get(), QByteArray(100, 'x')));
    ASSERT_TRUE(waitUntil([&] { return port->inBufferCount() > 0; }));
    EXPECT_EQ(port->commEvent(), int(SerialPort::EventReceive));
    port->setInBufferCount(0);
    EXPECT_TRUE(port->inBufferCount() == 0 && port->input().isEmpty());
    EXPECT_EQ(wakeUps(*port), QString());
}

// Another reader of the device (a program probing ports, or root past exclusive mode) takes
// the bytes in the same pass of the event loop, so that the port's read finds nothing, with
// errno as the loop's own non-blocking reads leave it (EAGAIN). Its reception must go on.
TEST_F(SerialPortTest, ReceptionGoesOnAfterAReadThatFoundNothing) {
    const UniqueFd other = openTerminal(pty.slavePath);
    QByteArray taken;
    // Switched on before the port's own reader, so that it is served first.
    QSocketNotifier thief(other.get(), QSocketNotifier::Read);
    QObject::connect(&thief, &QSocketNotifier::activated, [&] {
        char buffer[256];
        for (ssize_t n; (n = ::read(other.get(), buffer, sizeof buffer)) > 0;)
            taken.append(buffer, n);
        errno = EAGAIN;
    });
    // Read as a session does: when the port tells of bytes.
    QByteArray got;
    QObject::connect(port.get(), &SerialPort::OnComm, [&] { got += port->input(); });
    port->setInputMode(1);
    openPort();
    ASSERT_TRUE(writeAll(pty.master.get(), "first"));
    ASSERT_TRUE(waitUntil([&] { return taken.size() + got.size() >= 5; }));
    thief.setEnabled(false);
    ASSERT_TRUE(writeAll(pty.master.get(), "second"));
    EXPECT_TRUE(waitUntil([&] { return got.endsWith("second"); })) << got.constData();
    EXPECT_TRUE(port->portOpen());
}

// The device's far side in packet mode hears of every flush of the port: at each way the
// port closes, what the device has not taken is discarded first, so that the kernel has
// nothing to wait for (it would drain it at close, for up to 30 s with a stalled device).
TEST_F(SerialPortTest, EveryCloseDiscardsWhatTheDeviceHasNotTaken) {
    int on = 1;
    ASSERT_EQ(::ioctl(pty.master.get(), TIOCPKT, &on), 0);
    // The device's packets since the last look: the data bytes, and the flush bits seen.
    auto deviceReads = [&] {
        std::pair<qsizetype, int> seen{0, 0};
        char packet[65536];
        for (ssize_t n; (n = ::read(pty.master.get(), packet, sizeof packet)) > 0;) {
            if (packet[0] == TIOCPKT_DATA)
                seen.first += n - 1;
            else
                seen.second |= packet[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE);
        }
        return seen;
    };
    EXPECT_EQ(port->output(QByteArray("x")).number, SerialPort::PortNotOpen);
    constexpr int kQueue = 1 << 19;
    const QByteArray block(2 * kQueue, 'q');
    for (const std::string_view way : {"De-Activate", "reopen", "window close"}) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(port->setOutBufferSize(kQueue).ok());
        if (!port->portOpen())
            openPort();
        deviceReads();
        // The queue takes at most its free space; the rest stays the caller's.
        int taken = 0;
        ASSERT_TRUE(port->output(block, &taken).ok());
        ASSERT_EQ(taken, kQueue);
        EXPECT_LE(port->outBufferCount(), kQueue);
        if (way == "window close")
            port.reset();
        else
            port->setPortOpen(false);
        if (way == "reopen")
            openPort();
        const auto [data, flushes] = deviceReads();
        EXPECT_LT(data, kQueue);
        EXPECT_EQ(flushes, TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE);
    }
}

// Each refused open says why and leaves the port closed; another name for a device in use is
// the same device.
TEST_F(SerialPortTest, OpenFailuresSayWhyAndAnOpenDeviceIsInUse) {
    openPort();
    const QString plainFile = dir.path() + QStringLiteral("/plain");
    ASSERT_TRUE(writeWholeFile(plainFile, "not a terminal") &&
                QFile::link(plainFile, comLinkPath(5)) &&
                QFile::link(pty.slavePath, comLinkPath(8)));
    const QString inUse = QStringLiteral(": in use by another program (%1)").arg(pty.slavePath);
    const std::pair<int, QString> rows[] = {{200, QStringLiteral(": no such device /dev/ttyS199")},
                                            {5, QStringLiteral(": cannot open ")},
                                            {3, inUse},
                                            {8, inUse}};
    auto second = createSerialPort();
    for (const auto& [com, why] : rows) {
        ASSERT_TRUE(second->setCommPort(com).ok());
        const ComponentResult result = second->setPortOpen(true);
        EXPECT_TRUE(result.number == SerialPort::DeviceUnavailable && !second->portOpen() &&
                    second->lastError() == result.description);
        EXPECT_TRUE(result.description.startsWith(QStringLiteral("COM%1").arg(com) + why))
            << result.description.toStdString();
    }
    // Exclusive mode refuses other programs' opens; root, whom it lets pass, finds it locked.
    const UniqueFd other = openTerminal(pty.slavePath);
    if (other.valid())
        EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    else
        EXPECT_EQ(errno, EBUSY);
    // Closed, the device is free again for the next opener.
    ASSERT_TRUE(port->setPortOpen(false).ok());
    EXPECT_TRUE(second->setPortOpen(true).ok());
}

// Unplugged while the port's receive queue is full (nobody reads it), and plugged in again
// under the same name: the port hears of it at once and reports it once, opens the new device,
// and delivers what it had taken from the old one before the new one's bytes.
TEST_F(SerialPortTest, ADeviceThatGoesAwayIsReportedOnceAndOpenedAgainLosingNothingTaken) {
    ASSERT_TRUE(port->setInBufferSize(100).ok());
    port->setInputMode(1);
    openPort();
    ASSERT_TRUE(writeAll(pty.master.get(), allByteValues()));
    ASSERT_TRUE(waitUntil([&] { return port->inBufferCount() == 100; }));
    EXPECT_EQ(wakeUps(*port), QString()) << "a full queue must not spin on the bytes left";
    QSignalSpy events(port.get(), &SerialPort::OnComm);
    pty.master.reset();
    ASSERT_TRUE(waitUntil([&] { return !port->portOpen(); }));
    EXPECT_EQ(port->commEvent(), int(SerialPort::EventDeviceGone));
    // No further reports, and no tight loop of them.
    EXPECT_FALSE(waitUntil([&] { return events.count() > 2; }, 300ms));
    EXPECT_EQ(port->inBufferCount(), 100);

    TestPty again = TestPty::open();
    ASSERT_TRUE(QFile::remove(comLinkPath(3)) && QFile::link(again.slavePath, comLinkPath(3)));
    again.slave.reset();
    openPort();
    ASSERT_TRUE(writeAll(again.master.get(), "after"));
    QByteArray got;
    waitUntil([&] {
        got += port->input();
        return got.size() >= 105;
    });
    EXPECT_EQ(got, allByteValues().left(100) + "after");
}

// What bounds a close that waits for the device, tried on a wait that would never end.
TEST(SyscallDeadlineTest, CutsAWaitShortThatWouldNeverEnd) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    const SyscallDeadline deadline(20ms);
    ASSERT_TRUE(deadline.armed());
    char byte;
    EXPECT_EQ(::read(readEnd.get(), &byte, 1), -1);
    EXPECT_EQ(errno, EINTR);
}

} // namespace
