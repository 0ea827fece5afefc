// The command channel's socket with real clients in this process: several requests on one
// connection, the bounds on bad clients, and the owner-only socket.

#include "app/CommandChannel.h"

#include "tests/support/IsolatedHome.h"

#include <QFile>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A client that writes raw bytes and collects the answer lines.
class Client {
public:
    explicit Client(const QString& path) { socket.connectToServer(path); }
    bool connected() {
        return waitUntil([&] { return socket.state() == QLocalSocket::ConnectedState; });
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }
    // The next answer line without its line feed, or "(none)" when none came in time.
    QByteArray answer() {
        return waitUntil([&] { return socket.canReadLine(); }) ? socket.readLine().chopped(1)
                                                               : QByteArray("(none)");
    }
    bool closedByProgram() {
        return waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; });
    }

    QLocalSocket socket;
};

// A plain socket connected to path, or -1 (for clients the test cannot be in this process).
int connectUnix(const QByteArray& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

class CommandChannelTest : public ::testing::Test {
protected:
    CommandChannelTest() {
        EXPECT_TRUE(channel.listen()) << channel.error().toStdString();
        channel.idleTimer.stop(); // the tests run the idle check themselves
    }
    // Topic "T" accepts "yes" and refuses the rest; there is no other topic.
    CommandReply handle(const QString& topic, const QString& command) {
        requests << topic + QLatin1Char('|') + command;
        return topic != QLatin1String("T")       ? CommandReply::NoSuchTopic
               : command == QLatin1String("yes") ? CommandReply::Accepted
                                                 : CommandReply::Refused;
    }
    std::unique_ptr<Client> connect() {
        auto client = std::make_unique<Client>(channel.path());
        EXPECT_TRUE(client->connected());
        return client;
    }

    IsolatedHome home;
    QStringList requests;
    CommandChannel channel{[this](const QString& t, const QString& c) {
        return handle(t, c);
    }};
};

TEST_F(CommandChannelTest, ListensOwnerOnlyAndReplacesAFileLeftAtItsPlace) {
    const std::pair<QString, mode_t> rows[] = {
        {channel.path(), S_IFSOCK | 0600},
        {home.path(QStringLiteral("runtime/lumivex")), S_IFDIR | 0700}};
    for (const auto& [path, mode] : rows) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & (S_IFMT | 0777), mode) << path.toStdString();
    }
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

TEST_F(CommandChannelTest, EachLineIsAnsweredInOrderAndBadLinesDoNotEndTheConnection) {
    const std::pair<QByteArray, QByteArray> rows[] = {
        {"T\tyes\n", "ACK"},
        {"T\tno\r\n", "NAK"},
        {"nowhere\t[ACTIVATE]\n", "NAK\tno such topic"},
        {"garbage without a tab\n", "NAK\tmalformed request"},
        {"T\t\xff\xfe yes\n", "NAK\tnot UTF-8"},
        {"T\tye\x01s\n", "NAK\tmalformed request"},
        {QByteArray("T\0\tyes\n", 7), "NAK\tmalformed request"},
        {"T\tyes\tmore\n", "NAK"}, // the topic ends at the first tab
    };
    auto client = connect();
    for (const auto& [line, answer] : rows) {
        client->send(line);
        EXPECT_EQ(client->answer(), answer) << line.toStdString();
    }
    client->send("T\t");
    client->send("yes\n"); // answered once its line is complete
    EXPECT_EQ(client->answer(), "ACK");
    EXPECT_EQ(requests.size(), 5) << requests.join(u' ').toStdString();
}

TEST_F(CommandChannelTest, AClientThatHasFinishedWritingStillGetsEveryAnswer) {
    const int fd = connectUnix(QFile::encodeName(channel.path()));
    ASSERT_GE(fd, 0);
    const QByteArray requests = "T\tyes\nU\tyes\n";
    ASSERT_EQ(::write(fd, requests.constData(), requests.size()), requests.size());
    ::shutdown(fd, SHUT_WR);
    QByteArray answers;
    EXPECT_TRUE(waitUntil([&] {
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        answers.append(buffer, std::max<ssize_t>(n, 0));
        return n == 0;
    }));
    ::close(fd);
    EXPECT_EQ(answers, "ACK\nNAK\tno such topic\n");
}

TEST_F(CommandChannelTest, AnOverlongLineEndsThatConnectionOnly) {
    auto flooder = connect();
    auto good = connect();
    flooder->send("T\t" + QByteArray(4093, 'y') + '\n'); // 4096 with its line feed
    EXPECT_EQ(flooder->answer(), "NAK");
    flooder->send("T\t" + QByteArray(4094, 'y') + '\n');
    EXPECT_EQ(flooder->answer(), "NAK\tline too long");
    EXPECT_TRUE(flooder->closedByProgram());

    auto megabyte = connect();
    megabyte->send("T\t" + QByteArray(1024 * 1024LL, 'x'));
    // Its refusal may be lost: a client still writing when the program closes gets EPIPE.
    EXPECT_TRUE(megabyte->closedByProgram());
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

TEST_F(CommandChannelTest, ClientsBeyondTheLimitAreTurnedAway) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 16; ++i)
        clients.push_back(connect());
    ASSERT_TRUE(waitUntil([&] { return channel.connectionCount() == 16; }));
    Client extra(channel.path());
    EXPECT_TRUE(extra.closedByProgram());
    clients.front()->socket.abort();
    ASSERT_TRUE(waitUntil([&] { return channel.connectionCount() == 15; }));
    auto next = connect();
    next->send("T\tyes\n");
    EXPECT_EQ(next->answer(), "ACK");
}

// Only root can be another user for a moment: a child that drops to "nobody" connects to a
// socket opened up for the test and must get no answer.
TEST_F(CommandChannelTest, AnotherUsersClientGetsNoAnswer) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    QTemporaryDir open; // under /tmp, so that "nobody" can reach it once opened up
    ::chmod(QFile::encodeName(open.path()).constData(), 0755);
    CommandChannel shared([](const QString&, const QString&) { return CommandReply::Accepted; });
    ASSERT_TRUE(shared.listen(open.path() + QStringLiteral("/x.1.dde")));
    const QByteArray path = QFile::encodeName(shared.path());
    ::chmod(path.constData(), 0666);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int fd = connectUnix(path);
        if (fd < 0)
            ::_exit(4);
        const char request[] = "T\tyes\n";
        (void)::write(fd, request, sizeof request - 1);
        char reply[8];
        ::_exit(::read(fd, reply, sizeof reply) > 0 ? 1 : 0); // 0: closed without an answer
    }
    int status = -1;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
