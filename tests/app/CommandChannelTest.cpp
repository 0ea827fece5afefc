// The command channel's socket with real clients in this process: several requests on one
// connection, the bounds on bad clients, and the owner-only socket.

#include "app/CommandChannel.h"

#include "tests/support/IsolatedHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <gtest/gtest.h>

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
        if (!waitUntil([&] { return socket.canReadLine(); }))
            return "(none)";
        return socket.readLine().chopped(1);
    }
    bool closedByProgram() {
        return waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; });
    }

    QLocalSocket socket;
};

class CommandChannelTest : public ::testing::Test {
protected:
    CommandChannelTest() {
        EXPECT_TRUE(channel.listen()) << channel.error().toStdString();
        // The tests run the idle check themselves.
        channel.idleTimer.stop();
    }
    // Topic "T" accepts "yes" and refuses the rest; there is no other topic.
    CommandReply handle(const QString& topic, const QString& command) {
        requests << topic + QLatin1Char('|') + command;
        if (topic != QLatin1String("T"))
            return CommandReply::NoSuchTopic;
        return command == QLatin1String("yes") ? CommandReply::Accepted : CommandReply::Refused;
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

TEST_F(CommandChannelTest, ListensOwnerOnlyAtTheProgramsSocketAndRemovesItAtTheEnd) {
    const QString expected = home.path(QStringLiteral("runtime/lumivex/%1.%2.dde"))
                                 .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
                                 .arg(QCoreApplication::applicationPid());
    ASSERT_EQ(channel.path(), expected);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(
        ::stat(QFile::encodeName(home.path(QStringLiteral("runtime/lumivex"))).constData(), &st),
        0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(CommandChannelTest, AFileLeftAtTheSocketsPlaceIsReplacedAndTheSocketGoesAtTheEnd) {
    // A program that had our pid died and left its file behind.
    const QString path = home.path(QStringLiteral("runtime/lumivex/x.1.dde"));
    ASSERT_TRUE(writeWholeFile(path, "left over"));
    {
        CommandChannel other([](const QString&, const QString&) { return CommandReply::Accepted; });
        ASSERT_TRUE(other.listen(path)) << other.error().toStdString();
        Client client(path);
        ASSERT_TRUE(client.connected());
        client.send("any\tthing\n");
        EXPECT_EQ(client.answer(), "ACK");
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(CommandChannelTest, OneConnectionCarriesSeveralRequestsAnsweredInOrder) {
    auto client = connect();
    client->send("T\tyes\nT\tno\nT\tyes\r\nnowhere\t[ACTIVATE]\n");
    EXPECT_EQ(client->answer(), "ACK");
    EXPECT_EQ(client->answer(), "NAK");
    EXPECT_EQ(client->answer(), "ACK"); // CR LF ends a line too
    EXPECT_EQ(client->answer(), "NAK\tno such topic");
    // A request written in pieces is answered once its line is complete.
    client->send("T\t");
    client->send("y");
    client->send("es\n");
    EXPECT_EQ(client->answer(), "ACK");
    EXPECT_EQ(requests, QStringList({"T|yes", "T|no", "T|yes", "nowhere|[ACTIVATE]", "T|yes"}));
}

TEST_F(CommandChannelTest, AClientThatHasFinishedWritingStillGetsEveryAnswer) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(channel.path());
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray requests = "T\tyes\nT\tno\nU\tyes\n";
    ASSERT_EQ(::write(fd, requests.constData(), requests.size()), requests.size());
    ::shutdown(fd, SHUT_WR);
    QByteArray answers;
    bool ended = false;
    EXPECT_TRUE(waitUntil([&] {
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            answers.append(buffer, n);
        ended = n == 0;
        return ended;
    }));
    ::close(fd);
    EXPECT_EQ(answers, "ACK\nNAK\nNAK\tno such topic\n");
}

TEST_F(CommandChannelTest, MalformedLinesAreRefusedAndTheConnectionGoesOn) {
    struct Row {
        QByteArray line;
        QByteArray answer;
    };
    const Row rows[] = {
        {"garbage without a tab\n", "NAK\tmalformed request"},
        {"\n", "NAK\tmalformed request"},
        {"T\t\xff\xfe yes\n", "NAK\tnot UTF-8"},
        {"T\t\xc3\n", "NAK\tnot UTF-8"}, // cut in the middle of a character
        {"T\tye\x01s\n", "NAK\tmalformed request"},
        {QByteArray("T\0\tyes\n", 7), "NAK\tmalformed request"},
        {"\tyes\n", "NAK\tno such topic"},
        {"T\tyes\tmore\n", "NAK"}, // the topic ends at the first tab
        {"T\t\xc3\xa9\n", "NAK"},  // UTF-8 that is not a known command
    };
    auto client = connect();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        client->send(row.line);
        EXPECT_EQ(client->answer(), row.answer);
    }
    client->send("T\tyes\n");
    EXPECT_EQ(client->answer(), "ACK");
    EXPECT_FALSE(requests.contains(QStringLiteral("T|ye\x01s")));
}

TEST_F(CommandChannelTest, AnOverlongLineEndsThatConnectionOnly) {
    auto flooder = connect();
    auto good = connect();
    const QByteArray at4k = "T\t" + QByteArray(4093, 'y') + '\n'; // 4096 with its line feed
    const QByteArray over = "T\t" + QByteArray(4094, 'y') + '\n';
    flooder->send(at4k);
    EXPECT_EQ(flooder->answer(), "NAK");
    flooder->send(over);
    EXPECT_EQ(flooder->answer(), "NAK\tline too long");
    EXPECT_TRUE(flooder->closedByProgram());

    auto megabyte = connect();
    megabyte->send("T\t" + QByteArray(1024 * 1024LL, 'x'));
    good->send("T\tyes\n");
    EXPECT_EQ(good->answer(), "ACK");
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
    channel.idleTimer_Timer();
    EXPECT_TRUE(talker->closedByProgram());
    EXPECT_EQ(channel.connectionCount(), 0);
    EXPECT_EQ(channel.idleTimer.interval(), 2500);
}

TEST_F(CommandChannelTest, ClientsBeyondTheLimitAreTurnedAway) {
    std::vector<std::unique_ptr<Client>> clients;
    clients.reserve(16);
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
    QTemporaryDir openDir; // under /tmp, so that "nobody" can reach it once opened up
    const QString open = openDir.path();
    ::chmod(QFile::encodeName(open).constData(), 0755);
    CommandChannel shared([](const QString&, const QString&) { return CommandReply::Accepted; });
    ASSERT_TRUE(shared.listen(open + QStringLiteral("/x.1.dde")));
    const QByteArray path = QFile::encodeName(shared.path());
    ::chmod(path.constData(), 0666);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), path.size());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(4);
        const char request[] = "T\tyes\n";
        (void)::write(fd, request, sizeof request - 1);
        char reply[8];
        ::_exit(::read(fd, reply, sizeof reply) > 0 ? 1 : 0); // 0: closed without an answer
    }
    int status = -1;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
