// The built program running headless, driven by the built lumivex-dde as a script would.

#include "app/IniFile.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// One running program with its own data folder: "None", a virtual port COM7 serving on any
// free loopback port, and a real-port session on COM<connector>.
class Program {
public:
    Program(const IsolatedHome& home, const char* name, int connector)
        : folder_(home.path(QString::fromLatin1(name))) {
        QDir().mkpath(folder_);
        writeWholeFile(
            folder_ + QStringLiteral("/default.lvx"),
            "[Lumivex]\nNumSessions=3\n[Session1]\nConnector=0\n[Session2]\nConnector=7\n"
            "CreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=0\n"
            "[Session3]\nConnector=" +
                QByteArray::number(connector) + "\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMIVEX_HEADLESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("LUMIVEX_HOME"), folder_);
        env.insert(QStringLiteral("LUMIVEX_PORTS"), folder_ + QStringLiteral("/ports"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LUMIVEX_PROGRAM), {});
        pid = process.processId();
    }
    ~Program() {
        process.kill();
        process.waitForFinished();
    }
    bool ended() {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; });
    }
    QList<int> saved(int session, const QStringList& keys = {"BaudRate", "Parity", "Databits",
                                                             "Stopbits"}) const {
        const IniFile ini(folder_ + QStringLiteral("/default.lvx"));
        QList<int> values;
        for (const QString& key : keys)
            values << ini.readInt(QStringLiteral("Session%1").arg(session), key, -1);
        return values;
    }
    QProcess process;
    qint64 pid = 0; // kept: a program that has ended has no process id

private:
    QString folder_;
};

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
    const pid_t gone = ::fork(); // a program that has ended
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    Program first(home, "a", 3);
    ASSERT_TRUE(ready("None"));
    Program second(home, "b", 4);
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
    ASSERT_TRUE(first.ended());
    EXPECT_EQ(first.process.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(socket.arg(first.pid)));
    EXPECT_EQ(second.process.state(), QProcess::Running);
    EXPECT_EQ(dde("System", "[APPEXIT]").exitCode, 0);
    ASSERT_TRUE(second.ended());
    EXPECT_EQ(first.saved(3), QList<int>({8, 2, 3, 2}));
    EXPECT_EQ(first.saved(2, {"AutoActivate"}), QList<int>{1}) << "back active next start";
    EXPECT_EQ(second.saved(3), QList<int>({5, 1, 3, 0}));
}

} // namespace
