// A client session on a virtual port with COM port control, against RFC 2217 servers nobody
// here wrote (ser2net, pyserial's own server code), each on a test-made pty device, and
// against a raw server: an application sets its line on the virtual port with tcsetattr, and
// the device's termios follows.
#include "session/ComPortClient.h"
#include "tests/session/SessionFixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <termios.h>

namespace {

constexpr tcflag_t kWatched = CSTOPB | PARODD | CRTSCTS;

tcflag_t flagsOf(int fd) {
    termios t{};
    ::tcgetattr(fd, &t);
    return t.c_cflag & kWatched;
}

// What an application does to its port: a raw line at speed with the given control flags.
void setLine(int fd, speed_t speed, tcflag_t flags) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag = (t.c_cflag & ~kWatched) | flags;
    ::tcsetattr(fd, TCSANOW, &t);
}

// Starts an RFC 2217 server on device; returns its port on 127.0.0.1, 0 when it cannot run.
using ServerStart = std::function<int(QProcess&, const QString& device, const QString& dir)>;

int ser2net(QProcess& process, const QString& device, const QString& dir) {
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty())
        return 0;
    const int port = unusedTcpPort();
    const QString config = dir + QStringLiteral("/ser2net.yaml");
    writeWholeFile(config, QStringLiteral("connection: &port\n"
                                          "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                          "  connector: serialdev,%2,115200n81,local\n")
                               .arg(port)
                               .arg(device)
                               .toUtf8());
    process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                            config, QStringLiteral("-P"), dir + QStringLiteral("/pid")});
    // Listening once a connection is taken (and dropped at once).
    const bool up = waitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(port));
        return probe.waitForConnected(100);
    });
    return up ? port : 0;
}

int pyserialServer(QProcess& process, const QString& device, const QString&) {
    process.start(QStringLiteral(LUMIVEX_TEST_PYTHON),
                  {QStringLiteral(LUMIVEX_RFC2217_SERVER), device});
    waitUntil([&] { return process.canReadLine(); });
    return process.readLine().trimmed().toInt();
}

class ComPortClientTest : public SessionFixture {
protected:
    // COMn a client of port with COM port control and the session's own line 9600,E,7,1.
    void controllingClient(int n, int port) {
        options([](IoOptions& o) { o.ComPortControl = 1; });
        doc->Combo1[1]->setListIndex(1); // even
        doc->Combo1[2]->setListIndex(2); // 7 data bits
        virtualClient(n, port);
        ASSERT_TRUE(stateBecomes(0, int(Socket::States::Connected)));
    }
    bool deviceBecomes(int rate, tcflag_t flags) {
        return waitUntil([&] {
            return terminalRate(dev.slave.get()) == rate && flagsOf(dev.slave.get()) == flags;
        });
    }
};

} // namespace

// The session's own line goes at connect; then what the application sets, each change as it
// happens (odd parity and 2 stop bits show on a pty; even parity and 7 data bits do not, so
// the session's own are sent); bytes with 0xFF pass both ways, none of the server's
// negotiation reaches the application, and the next application finds the line as it was.
TEST_F(ComPortClientTest, TheRemoteDeviceFollowsTheApplicationsLine) {
    const std::vector<std::pair<const char*, ServerStart>> servers{{"ser2net", ser2net},
                                                                   {"pyserial", pyserialServer}};
    int n = 20;
    for (const auto& [name, start] : servers) {
        SCOPED_TRACE(name);
        renew();
        dev = TestPty::open();
        QTemporaryDir dir;
        QProcess server;
        const int port = start(server, dev.slavePath, dir.path());
        if (port == 0) {
            ADD_FAILURE() << name << " cannot run here: " << server.readAllStandardError().data();
            continue;
        }
        controllingClient(++n, port);
        EXPECT_TRUE(deviceBecomes(9600, 0));

        UniqueFd application = openApplication(n);
        setLine(application.get(), B19200, CSTOPB | PARODD | CRTSCTS);
        EXPECT_TRUE(deviceBecomes(19200, CSTOPB | PARODD | CRTSCTS));
        setLine(application.get(), B4800, 0);
        EXPECT_TRUE(deviceBecomes(4800, 0));

        ASSERT_TRUE(writeAll(application.get(), "\xffup"));
        ticks(1);
        EXPECT_EQ(readExactly(dev.master.get(), 3), QByteArray("\xffup"));
        ASSERT_TRUE(writeAll(dev.master.get(), "\xff"
                                               "down"));
        EXPECT_EQ(readExactly(application.get(), 5), QByteArray("\xff"
                                                                "down"));
        EXPECT_TRUE(readExactly(application.get(), 1, std::chrono::milliseconds(100)).isEmpty());

        // The next application finds the line the last one left, as on a serial port.
        const QByteArray log = errorLog();
        application = {};
        ASSERT_TRUE(waitUntil([&] { return !doc->VSPort1().isOpenedByApp(); }));
        application = openApplication(n);
        EXPECT_EQ(terminalRate(application.get()), 4800);
        EXPECT_EQ(errorLog(), log) << "nothing to send";

        EXPECT_EQ(log.count("Sent 9600,E,7,1, no flow control"), n - 20) << log.toStdString();
        EXPECT_TRUE(log.contains("Sent 19200,O,7,2, hardware flow control"));
        EXPECT_TRUE(log.contains("Sent 4800,E,7,1, no flow control"));
        doc->Command1_Click(); // de-activates: the server sees the client leave
        server.terminate();
        server.waitForFinished(5000);
    }
}

// A server that stays silent is offered COM-PORT-OPTION once; when it does not answer, the
// data goes unframed both ways and no setting is sent.
TEST_F(ComPortClientTest, ARawServerGetsOneOfferThenRawData) {
    PeerServer listener;
    controllingClient(30, listener.port());
    QTcpSocket* remote = listener.nextConnection();
    ASSERT_NE(remote, nullptr);
    UniqueFd application = openApplication(30);
    ASSERT_TRUE(writeAll(application.get(), "\xff"
                                            "ab"));
    ticks(ComPortClient::quietTicks);
    EXPECT_EQ(readUntil(*remote, 3), QByteArray("\xff\xfb\x2c"));
    ticks(ComPortClient::answerTicks);
    EXPECT_EQ(readUntil(*remote, 3), QByteArray("\xff"
                                                "ab"));
    remote->write("\xff\xfb\x2c");
    EXPECT_EQ(readExactly(application.get(), 3), QByteArray("\xff\xfb\x2c"));
    setLine(application.get(), B19200, 0);
    EXPECT_FALSE(
        waitUntil([&] { return remote->bytesAvailable() > 0; }, std::chrono::milliseconds(200)));
    EXPECT_TRUE(errorLog().contains("does not answer Telnet COM port control"));
    EXPECT_FALSE(errorLog().contains("Sent "));
}
