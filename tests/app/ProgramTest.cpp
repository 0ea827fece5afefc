// The built program as a user or systemd runs it, and driven by lumivex-dde as a script would.

#include "app/IniFile.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/platform/SocketTestPeers.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

using Variables = QList<std::pair<QString, QString>>;

// The built program (or a copy of it) running headless with these variables changed (a null
// value removes one), and no service manager to tell unless one is given; killed at the end.
class Program : public QProcess {
public:
    explicit Program(const Variables& variables, const QStringList& arguments = {},
                     const QString& program = QStringLiteral(LUMIVEX_PROGRAM)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.remove(QStringLiteral("NOTIFY_SOCKET"));
        for (const auto& [name, value] : variables)
            value.isNull() ? env.remove(name) : env.insert(name, value);
        setProcessEnvironment(env);
        start(program, arguments);
        pid = processId();
    }
    ~Program() override {
        kill();
        waitForFinished();
    }
    // Its exit code once it has ended; -1 if it does not end or dies of a signal.
    int exitCodeAtEnd() {
        const bool ended = waitUntil([&] { return state() == QProcess::NotRunning; });
        return ended && exitStatus() == QProcess::NormalExit ? exitCode() : -1;
    }
    bool logged(const char* text) {
        return waitUntil([&] {
            log += readAllStandardError();
            return log.contains(text);
        });
    }

    qint64 pid = 0; // kept: a program that has ended has no process id
    QByteArray log;
};

class ProgramTest : public ::testing::Test {
protected:
    IsolatedHome home;
};

// Installed, the program keeps its data in the config folder even if it may write its prefix.
// Its virtual port session carries bytes between an application and a TCP client both ways,
// and SIGTERM saves it active and takes the port away.
TEST_F(ProgramTest, InstalledHeadlessBridgeCarriesBytesBothWaysAndComesBackActive) {
    const QString bin = home.path(QStringLiteral("prefix/bin"));
    ASSERT_TRUE(QDir().mkpath(bin) &&
                QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), bin + QStringLiteral("/lumivex")));
    const QString data = home.path(QStringLiteral("config/lumivex"));
    const int port = unusedTcpPort();
    ASSERT_TRUE(
        QDir().mkpath(data) &&
        QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
        writeWholeFile(data + QStringLiteral("/default.lvx"),
                       "[Lumivex]\nNumSessions=1\n[Session1]\nConnector=15\n"
                       "CreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=" +
                           QByteArray::number(port) + "\nAutoActivate=1\n"));
    const UniqueFd notify(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const UnixSocketPath address(QFile::encodeName(home.path(QStringLiteral("notify"))));
    ASSERT_EQ(::bind(notify.get(), address.get(), address.length()), 0);
    Program program({{QStringLiteral("NOTIFY_SOCKET"), home.path(QStringLiteral("notify"))},
                     {QStringLiteral("LUMIVEX_HOME"), {}},
                     {QStringLiteral("LUMIVEX_PORTS"), {}}},
                    {}, bin + QStringLiteral("/lumivex"));
    char buffer[64];
    ssize_t got = -1;
    ASSERT_TRUE(
        waitUntil([&] { return (got = ::recv(notify.get(), buffer, sizeof buffer, 0)) > 0; }));
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), "READY=1");
    ASSERT_TRUE(program.logged("TCP/IP Status: Listening..."));
    EXPECT_TRUE(program.log.contains("Lumivex Error: Virtual Port COM15 created, "));

    const QString link = data + QStringLiteral("/ports/COM15");
    UniqueFd app = openTerminal(link);
    ASSERT_TRUE(app.valid());
    auto peer = connectedPeer(port);
    ASSERT_EQ(peer->state(), QAbstractSocket::ConnectedState);
    // Bytes from the port before the session has taken the client are dropped (no buffering).
    ASSERT_TRUE(program.logged("TCP/IP Status: (1)Connected"));
    const QByteArray toPeer = allByteValues().repeated(64);
    ASSERT_TRUE(writeAll(app.get(), toPeer, std::chrono::seconds(5))); // the tests' own
    EXPECT_EQ(readUntil(*peer, toPeer.size()), toPeer);
    const QByteArray toApp = patternBytes(100 * 1000);
    peer->write(toApp);
    EXPECT_EQ(readExactly(app.get(), toApp.size()), toApp);

    ::kill(static_cast<pid_t>(program.pid), SIGTERM);
    EXPECT_EQ(program.exitCodeAtEnd(), 0);
    EXPECT_TRUE(readWholeFile(data + QStringLiteral("/default.lvx")).contains("AutoActivate=1"));
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the port goes with the program";
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("lumivex")});
}

// Whoever may change the program would run as the service: only a program root alone can
// change is installed (an ordinary user's own copy never is).
TEST_F(ProgramTest, ServiceSwitchesInstallOnlyAProgramRootAloneCanChange) {
    QDir().mkpath(home.path(QStringLiteral("systemd")));
    const QString unit = home.path(QStringLiteral("systemd/lumivex.service"));
    const QString installed = home.path(QStringLiteral("bin/lumivex"));
    const QString open = home.path(QStringLiteral("open/lumivex"));
    for (const QString& copy : {installed, open})
        ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).path()) &&
                    QFile::copy(QStringLiteral(LUMIVEX_PROGRAM), copy));
    ASSERT_TRUE(QFile::setPermissions(open, QFile::permissions(open) | QFile::WriteOther));

    Program refused({}, {QStringLiteral("-i")}, open);
    EXPECT_EQ(refused.exitCodeAtEnd(), 1);
    const QByteArray refusal = refused.readAllStandardError();
    EXPECT_TRUE(refusal.contains("service did not install successfully.") &&
                refusal.contains("cmake --install"))
        << refusal.constData();
    EXPECT_FALSE(QFile::exists(unit));
    Program nothing({}, {QStringLiteral("-us")}); // nothing to remove: reported even when silent
    EXPECT_EQ(nothing.exitCodeAtEnd(), 1);
    EXPECT_TRUE(nothing.readAllStandardError().contains("service did not uninstall successfully."));
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root's programs are installed";

    Program install({}, {QStringLiteral("-i")}, installed);
    EXPECT_EQ(install.exitCodeAtEnd(), 0);
    EXPECT_TRUE(install.readAllStandardError().contains("service installed successfully."));
    EXPECT_TRUE(readWholeFile(unit).contains("ExecStart=\"" + QFile::encodeName(installed)));
    // The switch ends the program before anything else: no set file is written.
    EXPECT_FALSE(QFile::exists(home.path(QStringLiteral("home/default.lvx"))));
    Program uninstall({}, {QStringLiteral("/US")});
    EXPECT_EQ(uninstall.exitCodeAtEnd(), 0);
    EXPECT_TRUE(uninstall.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFile::exists(unit));
}

// A data folder with its set: "None", a virtual port COM7 serving on any free loopback port,
// and a real-port session on COM<connector>; the variables that give it to a program.
Variables ownSet(const QString& folder, int connector) {
    QDir().mkpath(folder);
    writeWholeFile(folder + QStringLiteral("/default.lvx"),
                   "[Lumivex]\nNumSessions=3\n[Session1]\nConnector=0\n[Session2]\nConnector=7\n"
                   "CreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=0\n"
                   "[Session3]\nConnector=" +
                       QByteArray::number(connector) + "\n");
    return {{QStringLiteral("LUMIVEX_HOME"), folder},
            {QStringLiteral("LUMIVEX_PORTS"), folder + QStringLiteral("/ports")}};
}

QList<int> saved(const QString& folder, int session,
                 const QStringList& keys = {"BaudRate", "Parity", "Databits", "Stopbits"}) {
    const IniFile ini(folder + QStringLiteral("/default.lvx"));
    QList<int> values;
    for (const QString& key : keys)
        values << ini.readInt(QStringLiteral("Session%1").arg(session), key, -1);
    return values;
}

struct ClientRun {
    int exitCode = -1;
    QByteArray out, err;
};

ClientRun dde(const QStringList& arguments) {
    QProcess client;
    client.start(QStringLiteral(LUMIVEX_DDE), arguments);
    if (!waitUntil([&] { return client.state() == QProcess::NotRunning; },
                   std::chrono::seconds(20)))
        return {};
    return {client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1,
            client.readAllStandardOutput(), client.readAllStandardError()};
}

ClientRun dde(const char* topic, const char* command) {
    return dde({QString::fromUtf8(topic), QString::fromUtf8(command)});
}

// Waits until a program has read its set: the session on "topic" refuses to deactivate.
bool ready(const char* topic) {
    return waitUntil([&] { return dde(topic, "[DEACTIVATE]").exitCode == 1; },
                     std::chrono::seconds(15));
}

TEST(CommandProgram, CommandsReachTheProgramWithTheTopicAndAppExitSaves) {
    IsolatedHome home;
    const pid_t gone = deadPid(); // a program that has ended
    Program first(ownSet(home.path(QStringLiteral("a")), 3));
    ASSERT_TRUE(ready("None"));
    Program second(ownSet(home.path(QStringLiteral("b")), 4));
    ASSERT_TRUE(ready("COM4"));
    const QString socket = home.path(QStringLiteral("runtime/lumivex/lumivex.%1.dde"));
    const QString stale = socket.arg(gone); // its socket, which nobody listens on
    const UniqueFd staleSocket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const UnixSocketPath address(QFile::encodeName(stale));
    ASSERT_EQ(::bind(staleSocket.get(), address.get(), address.length()), 0);

    const ClientRun accepted = dde("COM3", "[COMSETTINGS=19200,O,8,2]");
    EXPECT_EQ(std::tuple(accepted.exitCode, accepted.out), std::tuple(0, QByteArray("ACK\n")));
    const ClientRun refused = dde("COM3", "[RESET]");
    EXPECT_EQ(std::tuple(refused.exitCode, refused.out), std::tuple(1, QByteArray("NAK\n")));
    EXPECT_EQ(dde("COM4", "[COMSETTINGS=4800,E,8,1]").exitCode, 0); // the second one has it
    EXPECT_FALSE(QFile::exists(stale));

    EXPECT_EQ(dde("COM7", "[ACTIVATE]").exitCode, 0);
    const QString link = home.path(QStringLiteral("a/ports/COM7"));
    EXPECT_TRUE(waitUntil([&] { return QFileInfo(link).isSymLink(); }));
    EXPECT_EQ(dde("COM7", "[ACTIVATE]").exitCode, 1); // already active
    EXPECT_EQ(dde("COM7", "[DEACTIVATE]").exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(link); }));
    EXPECT_EQ(dde("COM7", "[ACTIVATE]").exitCode, 0);

    const ClientRun nowhere = dde("COM9", "[ACTIVATE]");
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_TRUE(nowhere.err.contains("no running lumivex has the topic COM9"))
        << nowhere.err.data();
    EXPECT_EQ(dde("COM3", "[ACTIVATE]\n[DEACTIVATE]").exitCode, 64); // one line per request
    EXPECT_EQ(dde({QStringLiteral("COM3")}).exitCode, 64);           // EX_USAGE

    // "System" is everyone's: the oldest program goes first.
    EXPECT_EQ(dde("System", "[APPEXIT]").exitCode, 0);
    EXPECT_EQ(first.exitCodeAtEnd(), 0);
    EXPECT_FALSE(QFile::exists(socket.arg(first.pid)));
    EXPECT_EQ(second.state(), QProcess::Running);
    EXPECT_EQ(dde("System", "[APPEXIT]").exitCode, 0);
    EXPECT_EQ(second.exitCodeAtEnd(), 0);
    EXPECT_EQ(saved(home.path(QStringLiteral("a")), 3), QList<int>({8, 2, 3, 2}));
    EXPECT_EQ(saved(home.path(QStringLiteral("a")), 2, {"AutoActivate"}), QList<int>{1})
        << "back active next start";
    EXPECT_EQ(saved(home.path(QStringLiteral("b")), 3), QList<int>({5, 1, 3, 0}));
}

} // namespace
