// The command channel end to end: the built program running headless, driven by the built
// lumivex-dde client, as a user's shell script would drive it.

#include "app/IniFile.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ClientRun {
    int exitCode = -1;
    QByteArray out, err;
};

// The set file of a program: "None" (stored with 6 data bits), a virtual port COM7 serving
// on a free loopback port, and one real-port session per extra connector.
QByteArray setFile(const QList<int>& connectors) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    QByteArray text = "[Lumivex]\nNumSessions=" + QByteArray::number(connectors.size() + 2) +
                      "\n[Session1]\nConnector=0\nDatabits=1\n"
                      "[Session2]\nConnector=7\nCreateVirtualPort=1\nTCPOption=1\n"
                      "LocalIP=127.0.0.1\nPortNumber=" +
                      QByteArray::number(probe.serverPort()) + "\n";
    for (int i = 0; i < connectors.size(); ++i)
        text += "[Session" + QByteArray::number(i + 3) +
                "]\nConnector=" + QByteArray::number(connectors[i]) + "\n";
    return text;
}

// One running program with its own data folder; the runtime folder is the test's.
class Program {
public:
    Program(const IsolatedHome& home, const QString& name, const QList<int>& connectors)
        : folder_(home.path(name)) {
        QDir().mkpath(folder_);
        writeWholeFile(folder_ + QStringLiteral("/default.lvx"), setFile(connectors));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("LUMIVEX_HOME"), folder_);
        env.insert(QStringLiteral("LUMIVEX_PORTS"), folder_ + QStringLiteral("/ports"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LUMIVEX_PROGRAM), {});
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString socketPath(const IsolatedHome& home) const {
        return home.path(QStringLiteral("runtime/lumivex/lumivex.%1.dde")).arg(process.processId());
    }
    bool ended() {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; });
    }
    int saved(int session, const char* key) const {
        const IniFile ini(folder_ + QStringLiteral("/default.lvx"));
        return ini.readInt(QStringLiteral("Session%1").arg(session), QString::fromLatin1(key), -1);
    }
    // The saved baud rate, parity, data bits and stop bits entries of a session.
    QList<int> savedLines(int session) const {
        return {saved(session, "BaudRate"), saved(session, "Parity"), saved(session, "Databits"),
                saved(session, "Stopbits")};
    }
    QProcess process;

private:
    QString folder_;
};

class CommandProgramTest : public ::testing::Test {
protected:
    ClientRun dde(const QStringList& arguments) {
        QProcess client;
        client.start(QStringLiteral(LUMIVEX_DDE), arguments);
        ClientRun run;
        if (!waitUntil([&] { return client.state() == QProcess::NotRunning; },
                       std::chrono::seconds(20)))
            return run;
        run.exitCode = client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
        run.out = client.readAllStandardOutput();
        run.err = client.readAllStandardError();
        return run;
    }
    int ddeExit(const char* topic, const char* command) {
        return dde({QString::fromUtf8(topic), QString::fromUtf8(command)}).exitCode;
    }
    // Waits until the program has read its set: the session on "topic" refuses to deactivate.
    bool ready(const char* topic) {
        return waitUntil([&] { return ddeExit(topic, "[DEACTIVATE]") == 1; },
                         std::chrono::seconds(15));
    }
    std::unique_ptr<Program> start(const QString& name, const QList<int>& connectors) {
        auto program = std::make_unique<Program>(home, name, connectors);
        EXPECT_TRUE(ready("None"));
        return program;
    }

    IsolatedHome home;
};

// A socket that nobody listens on, named for a program that has ended.
void leaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), name.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

// Two programs, each answering for its own topics, and "System" for both.
TEST_F(CommandProgramTest, CommandsReachTheProgramWithTheTopicAndAppExitSaves) {
    const pid_t gone = ::fork(); // a program that has ended
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    auto first = start(QStringLiteral("a"), {3});
    auto second = std::make_unique<Program>(home, QStringLiteral("b"), QList<int>{4});
    ASSERT_TRUE(ready("COM4"));
    const QString stale = home.path(QStringLiteral("runtime/lumivex/lumivex.%1.dde")).arg(gone);
    leaveStaleSocket(stale);

    const ClientRun accepted =
        dde({QStringLiteral("COM3"), QStringLiteral("[COMSETTINGS=19200,O,8,2]")});
    EXPECT_EQ(std::tuple(accepted.exitCode, accepted.out), std::tuple(0, QByteArray("ACK\n")));
    const ClientRun refused = dde({QStringLiteral("COM3"), QStringLiteral("[RESET]")});
    EXPECT_EQ(std::tuple(refused.exitCode, refused.out), std::tuple(1, QByteArray("NAK\n")));
    EXPECT_EQ(ddeExit("COM4", "[COMSETTINGS=4800,E,8,1]"), 0); // the second one has it
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_EQ(ddeExit("None", "[COMSETTINGS=9600,N,8]"), 0); // data bits stay 6

    // The virtual port opens on activation and goes on deactivation.
    EXPECT_EQ(ddeExit("COM7", "[ACTIVATE]"), 0);
    const QString link = home.path(QStringLiteral("a/ports/COM7"));
    EXPECT_TRUE(waitUntil([&] { return QFileInfo(link).isSymLink(); }));
    EXPECT_EQ(ddeExit("COM7", "[ACTIVATE]"), 1); // already active
    EXPECT_EQ(ddeExit("COM7", "[DEACTIVATE]"), 0);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(link); }));
    EXPECT_EQ(ddeExit("COM7", "[ACTIVATE]"), 0);

    const ClientRun nowhere = dde({QStringLiteral("COM9"), QStringLiteral("[ACTIVATE]")});
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_TRUE(nowhere.err.contains("no running lumivex has the topic COM9"))
        << nowhere.err.data();
    EXPECT_EQ(ddeExit("COM3", "[ACTIVATE]\n[DEACTIVATE]"), 2); // one line per request

    // Raw clients that flood or leave before their answers come must not end the program.
    QLocalSocket flooder;
    flooder.connectToServer(first->socketPath(home));
    for (int i = 0; i < 3; ++i) {
        QLocalSocket leaver;
        leaver.connectToServer(first->socketPath(home));
        ASSERT_TRUE(waitUntil([&] { return leaver.state() == QLocalSocket::ConnectedState; }));
        leaver.write(QByteArray("None\t[DEACTIVATE]\n").repeated(200));
        ASSERT_TRUE(waitUntil([&] { return leaver.bytesToWrite() == 0; }));
        leaver.abort();
    }
    ASSERT_TRUE(waitUntil([&] { return flooder.state() == QLocalSocket::ConnectedState; }));
    flooder.write(QByteArray(1024 * 1024LL, 'z'));
    EXPECT_EQ(ddeExit("COM3", "[DEACTIVATE]"), 1);
    EXPECT_TRUE(waitUntil([&] { return flooder.state() == QLocalSocket::UnconnectedState; }));

    // "System" is everyone's: the oldest program goes first.
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(first->ended());
    EXPECT_EQ(first->process.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(first->socketPath(home)));
    EXPECT_EQ(second->process.state(), QProcess::Running);
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(second->ended());
    EXPECT_EQ(first->savedLines(1), QList<int>({6, 0, 1, 0}));
    EXPECT_EQ(first->savedLines(3), QList<int>({8, 2, 3, 2}));
    EXPECT_EQ(first->saved(2, "AutoActivate"), 1) << "saved active, back active next start";
    EXPECT_EQ(second->savedLines(3), QList<int>({5, 1, 3, 0}));
}

} // namespace
