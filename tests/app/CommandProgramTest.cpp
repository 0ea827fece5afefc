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
    QByteArray out;
    QByteArray err;
};

// A free loopback port for a server session.
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The set file of a program: "None" (stored with 6 data bits), a virtual port COM7 serving
// on loopback, and one real-port session per extra connector.
QByteArray setFile(const QList<int>& connectors) {
    QByteArray text = "[Lumivex]\nNumSessions=" + QByteArray::number(connectors.size() + 2) +
                      "\n[Session1]\nConnector=0\nDatabits=1\n"
                      "[Session2]\nConnector=7\nCreateVirtualPort=1\nTCPOption=1\n"
                      "LocalIP=127.0.0.1\nPortNumber=" +
                      QByteArray::number(freePort()) + "\n";
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
    // The saved list entries of a session: baud rate, parity, data bits, stop bits.
    QList<int> savedLines(int session) const {
        QList<int> entries;
        for (const char* key : {"BaudRate", "Parity", "Databits", "Stopbits"})
            entries << saved(session, key);
        return entries;
    }
    // The status lines so far (headless mode writes them to stderr).
    const QByteArray& statusLines() {
        err_ += process.readAllStandardError();
        return err_;
    }

    QProcess process;

private:
    QString folder_;
    QByteArray err_;
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
    // Started, with its set read: the session on "None" answers (refusing to deactivate).
    std::unique_ptr<Program> start(const QString& name, const QList<int>& connectors = {3}) {
        auto program = std::make_unique<Program>(home, name, connectors);
        EXPECT_TRUE(waitUntil([&] { return ddeExit("None", "[DEACTIVATE]") == 1; },
                              std::chrono::seconds(15)));
        return program;
    }

    IsolatedHome home;
};

TEST_F(CommandProgramTest, SessionCommandsAnswerAsAcceptedOrRefused) {
    auto program = start(QStringLiteral("a"));
    const ClientRun accepted =
        dde({QStringLiteral("COM3"), QStringLiteral("[COMSETTINGS=19200,E,7,1]")});
    EXPECT_EQ(accepted.exitCode, 0);
    EXPECT_EQ(accepted.out, "ACK\n");
    const ClientRun refused = dde({QStringLiteral("COM3"), QStringLiteral("[RESET]")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "NAK\n");

    struct Row {
        const char* topic;
        const char* command;
        int exitCode;
    };
    const Row rows[] = {
        {"com3", " [comsettings=56000,o,8,2] ", 0}, // baud stays 19200
        {"None", "[COMSETTINGS=9600,N,8]", 0},      // data bits stay 6
        {"None", "[DEACTIVATE]", 1},                // inactive
        {"None", "[ACTIVATE]", 0},                  // accepted; "None" never opens anything
        {"None", "  [activate]", 0},                // so it is still inactive
        {"None", "[ACTIVATE] now", 1},
        {"COM3", "[COMSETTINGS=]", 0},
        {"COM3", "[COMSETTINGS=9600, N,8,1]", 0}, // parity " N" matches nothing
        {"System", "[ACTIVATE]", 1},
        {"System", "[APPEXIT] later", 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ddeExit(row.topic, row.command), row.exitCode) << row.topic << row.command;

    const ClientRun nowhere = dde({QStringLiteral("COM9"), QStringLiteral("[ACTIVATE]")});
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_TRUE(nowhere.out.isEmpty());
    EXPECT_TRUE(nowhere.err.contains("no running lumivex has the topic COM9"))
        << nowhere.err.data();
    const ClientRun otherApp = dde({QStringLiteral("--app"), QStringLiteral("other"),
                                    QStringLiteral("COM3"), QStringLiteral("[ACTIVATE]")});
    EXPECT_EQ(otherApp.exitCode, 2);
    EXPECT_TRUE(otherApp.err.contains("no running other answered"));
    EXPECT_EQ(dde({QStringLiteral("COM3")}).exitCode, 2);
    EXPECT_EQ(ddeExit("COM3", "[ACTIVATE]\n[DEACTIVATE]"), 2); // one line per request

    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(program->ended());
    EXPECT_EQ(program->process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->process.exitCode(), 0);
    EXPECT_EQ(program->savedLines(1), QList<int>({6, 0, 1, 0})); // 9600 N, 6 bits stayed
    // 19200,O,8,2 then 9600 with " N", which leaves Odd, and 8 data bits and 1 stop bit.
    EXPECT_EQ(program->savedLines(3), QList<int>({6, 2, 3, 0}));
    EXPECT_FALSE(QFile::exists(program->socketPath(home)));
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 2); // nobody left
}

TEST_F(CommandProgramTest, ActivateAndDeactivateFollowTheSessionsState) {
    auto program = start(QStringLiteral("a"));
    ASSERT_EQ(ddeExit("COM7", "[DEACTIVATE]"), 1);
    ASSERT_EQ(ddeExit("COM7", "[ACTIVATE]"), 0);
    ASSERT_TRUE(waitUntil([&] { return program->statusLines().contains("COM7"); }));
    EXPECT_TRUE(program->statusLines().contains("Virtual Port COM7 created"))
        << program->statusLines().constData();
    EXPECT_EQ(ddeExit("COM7", "[ACTIVATE]"), 1); // already active: refused, unchanged
    EXPECT_TRUE(QFileInfo(home.path(QStringLiteral("a/ports/COM7"))).isSymLink());
    EXPECT_EQ(ddeExit("COM7", "[DEACTIVATE]"), 0);
    EXPECT_TRUE(
        waitUntil([&] { return !QFileInfo::exists(home.path(QStringLiteral("a/ports/COM7"))); }));
    EXPECT_EQ(ddeExit("COM7", "[DEACTIVATE]"), 1);
    EXPECT_EQ(ddeExit("COM7", "[ACTIVATE]"), 0);
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(program->ended());
    // Saved as active, so it comes back active at the next start.
    EXPECT_EQ(program->saved(2, "AutoActivate"), 1);
}

// Raw clients that misbehave, while lumivex-dde goes on being served.
TEST_F(CommandProgramTest, BadClientsDoNotStopTheProgram) {
    auto program = start(QStringLiteral("a"));
    const QString path = program->socketPath(home);
    QLocalSocket silent;
    QLocalSocket flooder;
    QLocalSocket garbage;
    for (QLocalSocket* socket : {&silent, &flooder, &garbage})
        socket->connectToServer(path);
    ASSERT_TRUE(waitUntil([&] {
        return flooder.state() == QLocalSocket::ConnectedState &&
               garbage.state() == QLocalSocket::ConnectedState;
    }));
    // The silent client holds its connection while the others are served (its drop after the
    // idle bound is checked in the channel test). A client that leaves before its answers
    // come: writing them must not end the program.
    for (int i = 0; i < 5; ++i) {
        QLocalSocket leaver;
        leaver.connectToServer(path);
        ASSERT_TRUE(waitUntil([&] { return leaver.state() == QLocalSocket::ConnectedState; }));
        leaver.write(QByteArray("None\t[DEACTIVATE]\n").repeated(200));
        ASSERT_TRUE(waitUntil([&] { return leaver.bytesToWrite() == 0; }));
        leaver.abort();
    }
    garbage.write("\x01\x02garbage\n\xff\xfe\xfd\tstill garbage\n");
    flooder.write(QByteArray(1024 * 1024LL, 'z'));
    EXPECT_EQ(ddeExit("COM3", "[COMSETTINGS=2400,N,8,1]"), 0);
    ASSERT_TRUE(waitUntil([&] { return garbage.bytesAvailable() > 0 && garbage.canReadLine(); }));
    EXPECT_EQ(garbage.readLine(), "NAK\tmalformed request\n");
    ASSERT_TRUE(waitUntil([&] { return garbage.canReadLine(); }));
    EXPECT_EQ(garbage.readLine(), "NAK\tnot UTF-8\n");
    EXPECT_TRUE(waitUntil([&] { return flooder.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(ddeExit("None", "[DEACTIVATE]"), 1);
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(program->ended());
    EXPECT_EQ(program->process.exitCode(), 0);
}

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

TEST_F(CommandProgramTest, TwoProgramsAnswerForTheirOwnTopicsAndStaleSocketsGo) {
    const pid_t gone = ::fork(); // a program that has ended
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    auto first = start(QStringLiteral("a"), {3});
    auto second = std::make_unique<Program>(home, QStringLiteral("b"), QList<int>{4});
    ASSERT_TRUE(
        waitUntil([&] { return ddeExit("COM4", "[DEACTIVATE]") == 1; }, std::chrono::seconds(15)));
    QDir().mkpath(home.path(QStringLiteral("runtime/lumivex")));
    const QString stale = home.path(QStringLiteral("runtime/lumivex/lumivex.%1.dde")).arg(gone);
    leaveStaleSocket(stale);
    const QString notOurs = home.path(QStringLiteral("runtime/lumivex/lumivex.x1.dde"));
    writeWholeFile(notOurs, "");

    EXPECT_EQ(ddeExit("COM4", "[COMSETTINGS=4800,E,8,1]"), 0); // the second one has it
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(notOurs));
    EXPECT_EQ(ddeExit("COM3", "[COMSETTINGS=1200,E,8,1]"), 0); // the first one has it
    EXPECT_EQ(ddeExit("COM5", "[ACTIVATE]"), 2);
    EXPECT_EQ(ddeExit("None", "[DEACTIVATE]"), 1); // both have it: one answers

    // "System" is everyone's: the oldest program goes first.
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(first->ended());
    EXPECT_EQ(second->process.state(), QProcess::Running);
    EXPECT_EQ(ddeExit("COM4", "[DEACTIVATE]"), 1);
    EXPECT_EQ(ddeExit("System", "[APPEXIT]"), 0);
    ASSERT_TRUE(second->ended());
    EXPECT_EQ(second->process.exitCode(), 0);
    EXPECT_EQ(first->savedLines(3), QList<int>({3, 1, 3, 0}));
    EXPECT_EQ(second->savedLines(3), QList<int>({5, 1, 3, 0}));
}

} // namespace
