// The socket element and array over TCP against real sockets on 127.0.0.1: wrong calls, client,
// close, server, and the local address list.
#include "platform/LocalAddresses.h"
#include "platform/SocketArray.h"
#include "platform/StreamCloser.h"
#include "platform/TcpListener.h"
#include "platform/linux/DescriptorLimit.h"
#include "tests/platform/SocketTestPeers.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <vector>

namespace {

using std::chrono::milliseconds, std::chrono::seconds;
constexpr int kConnected = 7;

void listening(QtSocket& s) {
    s.Bind(0, kLoopback);
    s.Listen();
}
void nothing(QtSocket&) {}

TEST(SocketWrongCalls, FailWithANumberAndLeaveTheElementAsItWas) {
    using S = QtSocket;
    const std::tuple<const char*, void (*)(S&), std::function<ComponentResult(S&)>, int> calls[] = {
        {"SendOnListener", listening, [](S& s) { return s.SendData("x"); }, 40006},
        {"ListenOnUdp", udpBound, [](S& s) { return s.Listen(); }, 40006},
        {"AcceptOnUdp", udpBound, [](S& s) { return s.Accept(1); }, 40006},
        {"ConnectWhileListening", listening, [](S& s) { return s.Connect(); }, 40020},
        {"ListenTwice", listening, [](S& s) { return s.Listen(); }, 40020},
        {"BindTwice", udpBound, [](S& s) { return s.Bind(0); }, 40020},
        {"ProtocolWhileOpen", udpBound, [](S& s) { return s.setProtocol(0); }, 40020},
        {"UnknownProtocol", nothing, [](S& s) { return s.setProtocol(2); }, 380},
        {"RemotePortTooLarge", nothing, [](S& s) { return s.setRemotePort(65536); }, 380},
        {"BindToIPv6", nothing, [](S& s) { return s.Bind(0, "::1"); }, 10049},
        {"BindElsewhere", nothing, [](S& s) { return s.Bind(0, "192.0.2.1"); }, 10049},
        {"ConnectWithoutHost", nothing, [](S& s) { return connectTo(s, "", 80); }, 10022},
        {"ConnectToPortZero", nothing, [](S& s) { return connectTo(s, kLoopback, 0); }, 10049},
        {"AcceptUnknownRequest", nothing, [](S& s) { return s.Accept(0); }, 10038},
    };
    for (const auto& [name, prepare, call, number] : calls) {
        SCOPED_TRACE(name);
        QtSocket element;
        prepare(element);
        const int stateBefore = element.State();
        QSignalSpy errorSpy(&element, &Socket::error);
        const ComponentResult result = call(element);
        EXPECT_TRUE(result.number == number && !result.description.isEmpty()) << result.number;
        EXPECT_TRUE(element.State() == stateBefore && errorSpy.isEmpty()) << "no event, no change";
    }
    // Elements that are not loaded fail without crashing.
    SocketArray array;
    for (int index : {1, -1, SocketArray::kMaxIndex + 1}) {
        Socket& missing =
            index > 0 && index <= SocketArray::kMaxIndex ? array.at(index) : array.load(index);
        EXPECT_EQ(std::tuple(missing.Connect().number, missing.SendData("x").number,
                             missing.GetData(), missing.State()),
                  std::tuple(340, 340, QByteArray(), 0))
            << index;
    }
    EXPECT_EQ(array.maxIndex(), 0);
}

TEST(LocalAddresses, AreDottedIPv4WithLoopbackLast) {
    const QStringList addresses = localIPv4Addresses();
    ASSERT_TRUE(addresses.contains(kLoopback));
    EXPECT_TRUE(std::is_partitioned(addresses.begin(), addresses.end(),
                                    [](const QString& a) { return !a.startsWith("127."); }));
    for (const QString& address : addresses)
        EXPECT_EQ(QHostAddress(address).protocol(), QAbstractSocket::IPv4Protocol);
}

// An unknown host is an error event, never inside Connect(), and no close; closed after it and
// bound, the element connects again, at once by address and from its bound port.
TEST(TcpClient, AnUnknownHostIsAnErrorEventAndABoundElementConnectsFromItsPort) {
    PeerServer server;
    QtSocket element;
    QSignalSpy connectedSpy(&element, &Socket::connected);
    QSignalSpy errorSpy(&element, &Socket::error);
    QSignalSpy closedSpy(&element, &Socket::closed);
    ASSERT_TRUE(connectTo(element, "no-such-host.invalid", 80) && errorSpy.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return errorSpy.count() == 1; }, seconds(30)));
    EXPECT_EQ(std::tuple(errorSpy.at(0).at(0).toInt(), element.State(), closedSpy.count()),
              std::tuple(11001, 9, 0));
    ASSERT_TRUE(element.Close() && element.Bind(0, kLoopback));
    ASSERT_TRUE(connectTo(element, kLoopback, server.port()));
    EXPECT_EQ(std::tuple(connectedSpy.count(), element.State()), std::tuple(0, 6));
    QTcpSocket* peer = server.nextConnection();
    ASSERT_TRUE(peer && peer->peerPort() == element.LocalPort());
    ASSERT_TRUE(waitUntil([&] { return connectedSpy.count() == 1; }));
    EXPECT_EQ(element.RemoteHostIP(), kLoopback);
}

TEST(TcpData, SmallReadBufferHoldsTheSenderBackAndLosesNothing) {
    constexpr qint64 kLimit = 4096;
    const QByteArray sent = patternBytes(4 * 1024 * 1024);
    ClientPair pair;
    pair.element.setReadBufferLimit(kLimit);
    ASSERT_TRUE(pair.open());
    pair.peer->write(sent);
    ASSERT_TRUE(waitUntil([&] { return pair.element.bytesAvailable() >= kLimit; }));
    EXPECT_GT(pair.peer->bytesToWrite(), 0) << "the sender must be held back";
    qint64 largest = pair.element.bytesAvailable();
    QByteArray received = pair.element.GetData();
    QObject::connect(&pair.element, &Socket::dataArrival, [&] {
        largest = std::max(largest, pair.element.bytesAvailable());
        received += pair.element.GetData();
    });
    ASSERT_TRUE(waitUntil([&] { return received.size() >= sent.size(); }, seconds(30)));
    EXPECT_EQ(received, sent);
    EXPECT_LE(largest, kLimit);
}

// Close() right after SendData() frees the element at once, and every byte still arrives,
// even when the peer has sent bytes the element never read and goes on sending while we close
// (closing over unread input would reset the connection and drop what the kernel still holds).
TEST(TcpClose, WriteThenCloseDeliversEveryByteWhateverThePeerSends) {
    for (const qint64 peerSends : {0, 1024 * 1024}) {
        SCOPED_TRACE(peerSends);
        const QByteArray sent = patternBytes(3 * 1024 * 1024);
        ClientPair pair;
        ASSERT_TRUE(pair.open());
        if (peerSends > 0) {
            pair.peer->write(patternBytes(peerSends));
            ASSERT_TRUE(waitUntil([&] { return pair.element.bytesAvailable() > 0; }));
        }
        ASSERT_TRUE(pair.element.SendData(sent) && pair.element.Close());
        EXPECT_EQ(pair.element.State(), 0);
        QByteArray received;
        ASSERT_TRUE(waitUntil(
            [&] {
                received += pair.peer->readAll();
                return received.size() >= sent.size() ||
                       pair.peer->state() == QAbstractSocket::UnconnectedState;
            },
            seconds(30)));
        EXPECT_EQ(received + pair.peer->readAll(), sent);
        pair.peer->disconnectFromHost();
    }
}

// A peer that reads nothing does not keep a closed connection alive past the linger limit; a
// reset is one close event and no error event, so the connection is not counted out twice.
TEST(TcpClose, LingerEndsWhenThePeerReadsNothingAndAResetIsOneCloseEvent) {
    ClientPair lingering;
    ASSERT_TRUE(lingering.open());
    lingering.peer->setReadBufferSize(1);
    lingering.element.setLingerLimit(milliseconds(0));
    ASSERT_TRUE(lingering.element.SendData(patternBytes(16 * 1024 * 1024)) &&
                lingering.element.Close());
    EXPECT_TRUE(waitUntil([&] {
        tcp_info info{};
        socklen_t size = sizeof info;
        ::getsockopt(int(lingering.peer->socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size);
        return info.tcpi_state != TCP_ESTABLISHED;
    }));

    ClientPair reset;
    ASSERT_TRUE(reset.open());
    QSignalSpy closedSpy(&reset.element, &Socket::closed);
    QSignalSpy errorSpy(&reset.element, &Socket::error);
    const linger hard{1, 0};
    ASSERT_EQ(::setsockopt(int(reset.peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                           sizeof hard),
              0);
    reset.peer->abort();
    ASSERT_TRUE(waitUntil([&] { return closedSpy.count() == 1; }));
    EXPECT_EQ(std::tuple(errorSpy.count(), reset.element.State()), std::tuple(0, 8));
}

// Every connection the element makes or accepts asks the kernel to watch it while idle and to
// bound how long sent bytes may stay unacknowledged.
TEST(TcpKeepAlive, IsOnForClientAndAcceptedConnections) {
    ClientPair client;
    ASSERT_TRUE(client.open());
    SocketArray server;
    ASSERT_TRUE(server.at(0).Bind(0, kLoopback) && server.at(0).Listen());
    QObject::connect(&server, &SocketArray::connectionRequest,
                     [&](int, int id) { server.load(1).Accept(id); });
    auto peer = connectedPeer(server.at(0).LocalPort());
    ASSERT_TRUE(waitUntil([&] { return server.at(1).State() == kConnected; }));
    for (const int fd : {descriptorOf(client.element.LocalPort(), client.server.port()),
                         descriptorOf(server.at(0).LocalPort(), peer->localPort())}) {
        ASSERT_GE(fd, 0);
        const auto option = [fd](int level, int name) {
            int value = -1;
            socklen_t size = sizeof value;
            ::getsockopt(fd, level, name, &value, &size);
            return value;
        };
        EXPECT_EQ(std::tuple(option(SOL_SOCKET, SO_KEEPALIVE), option(IPPROTO_TCP, TCP_KEEPIDLE),
                             option(IPPROTO_TCP, TCP_KEEPINTVL), option(IPPROTO_TCP, TCP_KEEPCNT),
                             option(IPPROTO_TCP, TCP_USER_TIMEOUT)),
                  std::tuple(1, 10, 5, 3, 25'000));
    }
}

// Sets this process's soft descriptor limit for its life.
class SoftDescriptorLimit {
public:
    explicit SoftDescriptorLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const rlimit lowered{soft, saved_.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~SoftDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    rlim_t hard() const { return saved_.rlim_max; }

private:
    rlimit saved_{};
};

// Fills the descriptor table (under a lowered limit), so that the next accept fails with "too
// many open files"; all is given back on destruction.
struct DescriptorsUsedUp {
    SoftDescriptorLimit limit{4096};
    std::vector<UniqueFd> held;
    bool full = false;
    DescriptorsUsedUp() {
        for (int fd; (fd = ::dup(STDERR_FILENO)) >= 0;)
            held.emplace_back(fd);
        full = errno == EMFILE;
    }
};

// Waits until connections of earlier tests have closed: they would give descriptors back in
// the middle of a test that has used them all up.
bool connectionsSettled() {
    return waitUntil(
        [] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return QCoreApplication::instance()->findChildren<StreamCloser*>().isEmpty();
        },
        seconds(30));
}

// A listener that cannot take a connection for want of descriptors (at its first request, or
// after it has served a client) says so once, stays listening, stops trying until a back-off
// delay passes (doubling to a bound) and takes every waiting client once descriptors are back.
TEST(TcpServer, RunningOutOfDescriptorsPausesAcceptingAndLosesNoClient) {
    for (const bool servedBefore : {false, true}) {
        SCOPED_TRACE(servedBefore ? "after serving a client" : "at the first request");
        SocketArray array;
        auto& listening = static_cast<QtSocket&>(array.at(0));
        ASSERT_TRUE(listening.Bind(0, kLoopback) && listening.Listen());
        QObject::connect(&array, &SocketArray::connectionRequest,
                         [&](int, int id) { array.load(array.maxIndex() + 1).Accept(id); });
        std::unique_ptr<QTcpSocket> first;
        if (servedBefore) {
            first = connectedPeer(listening.LocalPort());
            ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == kConnected; }));
        }
        const int served = array.maxIndex();
        QSignalSpy errorSpy(&array, &SocketArray::error);
        auto* listener = listening.findChild<TcpListener*>();
        ASSERT_TRUE(listener);
        QTcpSocket clients[3];
        for (QTcpSocket& client : clients) // bound now: connecting then needs no descriptor
            client.bind(QHostAddress::LocalHost);
        ASSERT_TRUE(connectionsSettled());
        {
            DescriptorsUsedUp usedUp;
            ASSERT_TRUE(usedUp.full);
            for (QTcpSocket& client : clients)
                client.connectToHost(QHostAddress::LocalHost, quint16(listening.LocalPort()));
            ASSERT_TRUE(waitUntil([&] { return errorSpy.count() == 1; }));
            EXPECT_EQ(errorSpy.at(0).at(1).toInt(), 67) << "not a socket-layer error: stays open";
            EXPECT_TRUE(errorSpy.at(0).at(2).toString().startsWith("Too many open files"));
            for (const int delay : {100, 200, 400, 800, 1600, 3200, 5000, 5000}) {
                EXPECT_FALSE(listener->accepting()) << "watching the socket now would spin";
                EXPECT_EQ(listener->retryDelay(), milliseconds(delay));
                listening.retryAccept();
            }
            EXPECT_EQ(std::tuple(errorSpy.count(), listening.State(), array.maxIndex()),
                      std::tuple(1, 2, served));
        }
        listening.retryAccept();
        ASSERT_TRUE(waitUntil([&] { return array.maxIndex() == served + 3; }));
        EXPECT_TRUE(listener->accepting());
        for (int i = served + 1; i <= served + 3; ++i)
            ASSERT_TRUE(array.at(i).State() == kConnected && array.at(i).SendData("served")) << i;
        for (QTcpSocket& client : clients)
            EXPECT_EQ(readUntil(client, 6), QByteArray("served"));
    }
}

TEST(DescriptorLimit, TheSoftLimitIsRaisedToTheHardOne) {
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    const SoftDescriptorLimit lowered(now.rlim_max / 2);
    EXPECT_EQ(raiseDescriptorLimit(), long(lowered.hard()));
    ::getrlimit(RLIMIT_NOFILE, &now);
    EXPECT_EQ(now.rlim_cur, lowered.hard());
}

} // namespace
