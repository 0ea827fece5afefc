// A socket array as a TCP server (the session's choice of elements is the session tests').
#include "platform/SocketArray.h"
#include "platform/TcpListener.h"
#include "platform/linux/DescriptorLimit.h"
#include "tests/platform/SocketTestPeers.h"

#include <QSignalSpy>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Fills this process's descriptor table (under a soft limit lowered for the purpose), so that
// the next accept fails with "too many open files"; all is given back on destruction.
class DescriptorsUsedUp {
public:
    DescriptorsUsedUp() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit low = saved_;
        low.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 4096);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::dup(STDERR_FILENO)) >= 0;)
            held_.emplace_back(fd);
        full_ = errno == EMFILE;
    }
    ~DescriptorsUsedUp() {
        held_.clear();
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    bool full() const { return full_; }

private:
    rlimit saved_{};
    std::vector<UniqueFd> held_;
    bool full_ = false;
};

// A client's socket, made before descriptors run out: connecting needs none.
struct RawClient {
    UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    void connectTo(int port) const {
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(quint16(port));
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&server), sizeof server);
    }
};

TEST(TcpServer, AcceptsIntoAFreeElementAndClosesRequestsNobodyTakes) {
    SocketArray array;
    ASSERT_TRUE(array.at(0).Bind(0, kLoopback) && array.at(0).Listen());
    const int port = array.at(0).LocalPort();
    QList<int> requests;
    QObject::connect(&array, &SocketArray::connectionRequest, [&](int listener, int id) {
        EXPECT_EQ(listener, 0);
        requests << id;
        if (array.load(1).State() == 0) // one client at a time
            array.at(1).Accept(id);
    });
    QSignalSpy closedSpy(&array, &SocketArray::closed);
    auto first = connectedPeer(port);
    ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == 7; }));
    EXPECT_EQ(array.at(1).RemotePort(), first->localPort());
    QTcpSocket refused;
    QSignalSpy refusedClosed(&refused, &QAbstractSocket::disconnected);
    refused.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(waitUntil([&] { return refusedClosed.count() == 1; }));
    // Taken or closed, a request's id names nothing any more; a busy element accepts nothing.
    QtSocket outsider;
    for (int id : {requests.value(0), requests.value(1), 12345, -1})
        EXPECT_EQ(outsider.Accept(id).number, 10038) << id;
    EXPECT_EQ(array.at(1).Accept(requests.value(0)).number, 40020);
    EXPECT_EQ(array.maxIndex(), 1);

    // The closed element, reused, carries the new client's data and only that.
    first->write("stale");
    first->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return closedSpy.count() == 1; }));
    EXPECT_EQ(closedSpy.at(0).at(0).toInt(), 1);
    array.at(1).Close();
    auto second = connectedPeer(port);
    ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == 7; }));
    second->write("fresh");
    ASSERT_TRUE(waitUntil([&] { return array.at(1).bytesAvailable() == 5; }));
    EXPECT_EQ(array.at(1).GetData(), QByteArray("fresh"));
    ASSERT_TRUE(array.at(1).SendData("hello"));
    EXPECT_EQ(readUntil(*second, 5), QByteArray("hello"));
    // Our own close (twice is harmless) reaches the peer and raises no close event.
    EXPECT_TRUE(array.at(1).Close() && array.at(1).Close());
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(closedSpy.count(), 1);
    EXPECT_EQ(array.at(0).State(), 2);
}

TEST(TcpServer, ClosingTheListenerFreesItsPortAndAPortInUseIsRefused) {
    QtSocket listener, again, element, udp;
    ASSERT_TRUE(listener.Bind(0, kLoopback) && listener.Listen());
    const int port = listener.LocalPort();
    listener.Close();
    ASSERT_TRUE(again.Bind(port, kLoopback) && again.Listen());

    ASSERT_TRUE(element.setLocalPort(port));
    EXPECT_EQ(element.Listen().number, 10048) << "Listen without Bind binds to the local port";
    EXPECT_EQ(element.State(), 0);
    QUdpSocket other;
    other.bind(QHostAddress::LocalHost, 0);
    udp.setProtocol(1);
    EXPECT_EQ(udp.Bind(other.localPort(), kLoopback).number, 10048);
    EXPECT_EQ(udp.State(), 0);
}

// A listener that cannot take a connection for want of descriptors (at its first request, or
// after it has served a client) says so once, stays listening, stops trying until a back-off
// delay passes (doubling to a bound) and takes every waiting client once descriptors are back.
TEST(TcpServer, RunningOutOfDescriptorsPausesAcceptingAndLosesNoClient) {
    for (const bool servedBefore : {false, true}) {
        SCOPED_TRACE(servedBefore ? "after serving a client" : "at the first request");
        SocketArray array;
        ASSERT_TRUE(array.at(0).Bind(0, kLoopback) && array.at(0).Listen());
        const int port = array.at(0).LocalPort();
        QObject::connect(&array, &SocketArray::connectionRequest,
                         [&](int, int id) { array.load(array.maxIndex() + 1).Accept(id); });
        std::unique_ptr<QTcpSocket> first;
        if (servedBefore) {
            first = connectedPeer(port);
            ASSERT_TRUE(waitUntil([&] { return array.at(1).State() == 7; }));
        }
        const int served = array.maxIndex();
        QSignalSpy errorSpy(&array, &SocketArray::error);
        auto* listener = array.at(0).findChild<TcpListener*>();
        ASSERT_TRUE(listener);
        RawClient clients[3];
        {
            DescriptorsUsedUp usedUp;
            ASSERT_TRUE(usedUp.full());
            for (const RawClient& client : clients)
                client.connectTo(port);
            ASSERT_TRUE(waitUntil([&] { return errorSpy.count() == 1; }));
            EXPECT_EQ(errorSpy.at(0).at(1).toInt(), 10024);
            EXPECT_TRUE(errorSpy.at(0).at(2).toString().startsWith("Too many open files"));
            for (const int delay : {100, 200, 400, 800, 1600, 3200, 5000, 5000}) {
                EXPECT_FALSE(listener->accepting()) << "watching the socket now would spin";
                EXPECT_EQ(listener->retryDelay(), milliseconds(delay));
                static_cast<QtSocket&>(array.at(0)).retryAccept();
            }
            EXPECT_EQ(errorSpy.count(), 1);
            EXPECT_EQ(array.at(0).State(), 2);
            EXPECT_EQ(array.maxIndex(), served);
        }
        static_cast<QtSocket&>(array.at(0)).retryAccept();
        ASSERT_TRUE(waitUntil([&] { return array.maxIndex() == served + 3; }));
        EXPECT_TRUE(listener->accepting());
        for (int i = served + 1; i <= served + 3; ++i) {
            ASSERT_EQ(array.at(i).State(), 7) << i;
            ASSERT_TRUE(array.at(i).SendData("served"));
        }
        for (const RawClient& client : clients) {
            char reply[6] = {};
            EXPECT_TRUE(waitUntil(
                [&] { return ::recv(client.fd.get(), reply, sizeof reply, MSG_DONTWAIT) == 6; }));
        }
    }
}

TEST(DescriptorLimit, TheSoftLimitIsRaisedToTheHardOne) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = saved.rlim_max / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    EXPECT_EQ(raiseDescriptorLimit(), long(saved.rlim_max));
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    EXPECT_EQ(now.rlim_cur, saved.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

} // namespace
