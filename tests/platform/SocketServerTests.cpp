// A socket array as a TCP server (the session's choice of elements is the session tests').
#include "platform/SocketArray.h"
#include "platform/StreamCloser.h"
#include "platform/TcpListener.h"
#include "platform/linux/DescriptorLimit.h"
#include "tests/platform/SocketTestPeers.h"

#include <QCoreApplication>
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

// Waits until connections of earlier tests have closed: they would give descriptors back in
// the middle of a test that has used them all up.
bool connectionsSettled() {
    return waitUntil(
        [] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return QCoreApplication::instance()->findChildren<StreamCloser*>().isEmpty();
        },
        std::chrono::seconds(30));
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
        QTcpSocket clients[3];
        for (QTcpSocket& client : clients) // bound now: connecting then needs no descriptor
            client.bind(QHostAddress::LocalHost);
        ASSERT_TRUE(connectionsSettled());
        {
            DescriptorsUsedUp usedUp;
            ASSERT_TRUE(usedUp.full());
            for (QTcpSocket& client : clients)
                client.connectToHost(QHostAddress::LocalHost, quint16(port));
            ASSERT_TRUE(waitUntil([&] { return errorSpy.count() == 1; }));
            EXPECT_EQ(errorSpy.at(0).at(1).toInt(), 67)
                << "not a socket-layer error: the listener stays open";
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
        for (QTcpSocket& client : clients)
            EXPECT_EQ(readUntil(client, 6), QByteArray("served"));
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
