// The command channel's socket with real clients in this process.

#include "app/CommandChannel.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/IsolatedHome.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Client {
public:
    explicit Client(const QString& path)
        : address_(QFile::encodeName(path)) {
        socket.connectToServer(QFile::decodeName(address_.name()));
    }
    bool reaches(QLocalSocket::LocalSocketState state) {
        return waitUntil([&] { return socket.state() == state; });
    }
    bool connected() { return reaches(QLocalSocket::ConnectedState); }
    bool closedByProgram() { return reaches(QLocalSocket::UnconnectedState); }
    void send(const QByteArray& bytes) { socket.write(bytes); }
    QByteArray answer() {
        return waitUntil([&] { return socket.canReadLine(); }) ? socket.readLine().chopped(1)
                                                               : QByteArray("(none)");
    }

    QLocalSocket socket;

private:
    UnixSocketPath address_;
};

UniqueFd connectUnix(const QString& path) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const UnixSocketPath address(QFile::encodeName(path));
    return ::connect(fd.get(), address.get(), address.length()) == 0 ? std::move(fd) : UniqueFd();
}

class CommandChannelTest : public ::testing::Test {
protected:
    CommandChannelTest() {
        EXPECT_TRUE(channel.listen()) << channel.error().toStdString();
        channel.idleTimer.stop(); // the tests run the idle check themselves
    }
    std::unique_ptr<Client> connect() {
        auto client = std::make_unique<Client>(channel.path());
        EXPECT_TRUE(client->connected());
        return client;
    }

    IsolatedHome home;
    // Topic "T" accepts "yes" and refuses the rest; there is no other topic.
    CommandChannel channel{[](const QString& topic, const QString& command) {
        return topic != u"T"       ? CommandReply::NoSuchTopic
               : command == u"yes" ? CommandReply::Accepted
                                   : CommandReply::Refused;
    }};
};

TEST_F(CommandChannelTest, ListensOwnerOnlyAndReplacesAFileLeftAtItsPlace) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(channel.path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 0777), S_IFSOCK | 0600);
    // A program that had our pid died and left its file behind; the socket goes at the end.
    const QString path = home.path(QStringLiteral("runtime/lumivex/x.1.dde"));
    ASSERT_TRUE(writeWholeFile(path, "left over"));
    {
        CommandChannel other([](const QString&, const QString&) { return CommandReply::Accepted; });
        ASSERT_TRUE(other.listen(path)) << other.error().toStdString();
        EXPECT_TRUE(Client(path).connected());
    }
    EXPECT_FALSE(QFile::exists(path));
}

// A socket address holds 107 bytes; the runtime folder may lie deeper.
TEST(CommandChannelFolder, AFolderDeeperThanASocketAddressHoldsStillServes) {
    IsolatedHome home;
    const QString deep = home.path(QString(120, QLatin1Char('d')));
    ASSERT_TRUE(QDir().mkpath(deep));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(deep));
    CommandChannel channel([](const QString&, const QString&) { return CommandReply::Accepted; });
    ASSERT_TRUE(channel.listen()) << channel.error().toStdString();
    EXPECT_TRUE(channel.path().startsWith(deep));
    Client client(channel.path());
    client.send("T\tyes\n");
    EXPECT_EQ(client.answer(), "ACK");
}

// The line bound itself is kept by the command channel fuzz target's replayed inputs.
TEST_F(CommandChannelTest, AFloodEndsThatConnectionOnly) {
    auto good = connect();
    auto flooder = connect();
    flooder->send("T\t" + QByteArray(1024 * 1024LL, 'x'));
    // Its refusal may be lost: a client still writing when the program closes gets EPIPE.
    EXPECT_TRUE(flooder->closedByProgram());
    good->send("T\tyes\n");
    EXPECT_EQ(good->answer(), "ACK");
    EXPECT_TRUE(waitUntil([&] { return channel.connectionCount() == 1; }));
}

TEST_F(CommandChannelTest, ASilentClientIsDroppedAfterTwoIdleTicks) {
    auto silent = connect();
    auto talker = connect();
    ASSERT_TRUE(waitUntil([&] { return channel.connectionCount() == 2; }));
    silent->send("T\tye"); // half a line is no request
    channel.idleTimer_Timer();
    talker->send("T\tyes\n");
    EXPECT_EQ(talker->answer(), "ACK");
    channel.idleTimer_Timer();
    EXPECT_TRUE(silent->closedByProgram());
    EXPECT_EQ(talker->socket.state(), QLocalSocket::ConnectedState);
}

TEST_F(CommandChannelTest, ClientsBeyondTheLimitAreTurnedAwayAndOneThatLeavesFreesItsPlace) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 16; ++i)
        clients.push_back(connect());
    ASSERT_TRUE(waitUntil([&] { return channel.connectionCount() == 16; }));
    Client extra(channel.path());
    EXPECT_TRUE(extra.closedByProgram());
    clients.front()->send(QByteArray("T\tyes\n").repeated(200)); // then leaves, answers unread
    ASSERT_TRUE(waitUntil([&] { return clients.front()->socket.bytesToWrite() == 0; }));
    clients.front()->socket.abort();
    ASSERT_TRUE(waitUntil([&] { return channel.connectionCount() == 15; }));
    auto next = connect();
    next->send("T\tyes\n");
    EXPECT_EQ(next->answer(), "ACK");
}

TEST_F(CommandChannelTest, AnotherUsersClientGetsNoAnswer) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    QTemporaryDir open; // under /tmp, so that "nobody" can reach it once opened up
    ::chmod(QFile::encodeName(open.path()).constData(), 0755);
    CommandChannel shared([](const QString&, const QString&) { return CommandReply::Accepted; });
    ASSERT_TRUE(shared.listen(open.path() + QStringLiteral("/x.1.dde")));
    ::chmod(QFile::encodeName(shared.path()).constData(), 0666);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const UniqueFd fd = connectUnix(shared.path());
        char reply[8];
        if (!fd.valid() || ::write(fd.get(), "T\tyes\n", 6) != 6)
            ::_exit(4);
        ::_exit(::read(fd.get(), reply, sizeof reply) > 0 ? 1 : 0); // 0: closed without an answer
    }
    int status = -1;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
