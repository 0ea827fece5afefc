// Status texts, echo packets, and real echoes to 127.0.0.1 over each kind of ICMP socket: where
// a kind cannot be opened the request ends with "IP General Failure", never with success.
#include "model/GlobalSettings.h"
#include "net/EchoPacket.h"
#include "net/EchoReply.h"
#include "net/EchoService.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "tests/session/LinkMonitorTestSession.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <climits>
#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(StatusText, TimeoutTextFollowsTheCurrentTimeoutAndYieldsToKnownCodes) {
    // current time-out, code, text
    const std::tuple<int, int, const char*> rows[] = {
        {1000, 1000, "1000   [Ping Timeout]"},
        {2000, 1000, "1000   [Unknown Message Returned]"},
        {1000, -1, "-1   [Bad IP Format]"}};
    for (const auto& [timeout, code, text] : rows) {
        setCurrentPingTimeout(timeout);
        EXPECT_EQ(PingStatusText(code), QString::fromLatin1(text)) << timeout;
    }
    setCurrentPingTimeout(1000);
}

// IPv4: version and length in 32-bit words first, the protocol at offset 9.
QByteArray ipHeader(int protocol, int optionBytes = 0) {
    return char(0x45 + optionBytes / 4) + QByteArray(8, '\0') + char(protocol) +
           QByteArray(10 + optionBytes, '\0');
}

QByteArray icmp(int type, int code, const QByteArray& rest) {
    return char(type) + (char(code) + QByteArray(6, '\0')) + rest;
}

// Malformed packets, our own requests and reports of an unreachable host are the fuzz
// target's; here, what other answers read as.
TEST(EchoPacket, RepliesAndErrorReportsAboutOurRequestAreRead) {
    const QByteArray request = buildEchoRequest(7, 9, "Hello");
    QByteArray reply = request;
    reply[0] = 0;
    // name, IP packet, status (-2: not read)
    const std::tuple<const char*, QByteArray, int> rows[] = {
        {"reply after IP options", ipHeader(1, 8) + reply, 0},
        {"TTL expired", ipHeader(1) + icmp(11, 0, ipHeader(1) + request.left(8)), 11013},
        {"report about UDP", ipHeader(1) + icmp(3, 3, ipHeader(17) + request.left(8)), -2},
        {"cut report", ipHeader(1) + icmp(3, 1, ipHeader(1) + request.left(6)), -2},
    };
    for (const auto& [name, ipPacket, status] : rows) {
        SCOPED_TRACE(name);
        const IcmpEchoMessage read =
            parseIpPacket(ipPacket).value_or(IcmpEchoMessage{7, 9, -2, {}});
        EXPECT_EQ(std::tuple(read.identifier, read.sequence, read.status, read.data),
                  std::tuple(7, 9, status, status == 0 ? QByteArray("Hello") : QByteArray()));
    }
}

using namespace std::chrono_literals;
using Kind = EchoSocket::Kind;
constexpr quint32 kLoopbackAddress = 0x7f000001;

// Set by the runs in a network namespace of their own, where both kinds open.
const bool kEchoRequired = qEnvironmentVariableIntValue("LUMIVEX_REQUIRE_ECHO") == 1;

std::optional<EchoReply> echoAndWait(EchoService& service, quint32 address, const QByteArray& data,
                                     std::chrono::milliseconds timeout = 2000ms) {
    std::optional<EchoReply> outcome;
    QObject context;
    service.send(address, data, timeout, &context,
                 [&outcome](const EchoReply& reply) { outcome = reply; });
    waitUntil([&] { return outcome.has_value(); }, timeout + 3s);
    return outcome;
}

// Checks what one echo to loopback gave: the data back from 127.0.0.1 when the socket kind
// can be opened, "IP General Failure" with nothing sent when it cannot.
void expectLoopbackOutcome(const EchoReply& reply, bool echoAvailable, const QByteArray& sent) {
    const auto got =
        std::tuple(reply.status, reply.echoUnavailable, reply.address, reply.dataSize, reply.data);
    EXPECT_EQ(got, echoAvailable ? std::tuple(0, false, kLoopbackAddress, int(sent.size()),
                                              sent.left(EchoReply::kDataCapacity))
                                 : std::tuple(11050, true, 0u, 0, QByteArray()));
    EXPECT_LT(reply.roundTripTime, 2000u);
}

// Both services start at sequence 1; a raw socket sees the other's reply as well. The outcome
// for a context that is gone before the reply is dropped.
TEST(EchoService, TwoSendersWithTheSameSequenceEachGetTheirOwnReply) {
    for (const Kind kind : {Kind::Datagram, Kind::Raw}) {
        SCOPED_TRACE(kind == Kind::Datagram ? "datagram" : "raw");
        const bool available = EchoSocket::open(kind).has_value();
        ASSERT_TRUE(available || !kEchoRequired) << "this run sets up both kinds";
        EchoService first([kind] { return EchoSocket::open(kind); });
        EchoService second([kind] { return EchoSocket::open(kind); });
        std::optional<EchoReply> a;
        std::optional<EchoReply> b;
        bool late = false;
        QObject context;
        auto gone = std::make_unique<QObject>();
        const QByteArray long300(300, 'x'), withNul("with\0nul", 8);
        first.send(kLoopbackAddress, long300, 2s, &context, [&](const EchoReply& r) { a = r; });
        second.send(kLoopbackAddress, withNul, 2s, &context, [&](const EchoReply& r) { b = r; });
        second.send(kLoopbackAddress, "x", 2s, gone.get(), [&](const EchoReply&) { late = true; });
        EXPECT_FALSE(a || b || late) << "never inside the send";
        gone.reset();
        ASSERT_TRUE(
            waitUntil([&] { return a && b && first.pendingCount() + second.pendingCount() == 0; }));
        expectLoopbackOutcome(*a, available, long300);
        expectLoopbackOutcome(*b, available, withNul);
        EXPECT_FALSE(late);
    }
}

// Only a dotted address is pinged; the time-out follows the setting, whatever the address.
TEST(PingHost, DottedAddressesOnlyAndTheTimeoutFollowsTheSetting) {
    const bool available = EchoService::instance().available();
    ASSERT_TRUE(available || !kEchoRequired);
    // address, time-out index, time-out, dotted
    // clang-format off
    const std::tuple<const char*, int, int, bool> rows[] = {
        {"127.1", 0, 100, true}, {"127.0.0.1", 19, 2000, true}, {"localhost", -1, 500, false},
        {"127.0.0.1x", INT_MAX, 500, false}, {"255.255.255.255", 4, 500, false}};
    // clang-format on
    for (const auto& [address, timeoutIndex, timeout, dotted] : rows) {
        SCOPED_TRACE(address);
        globals().PingTimeout = timeoutIndex;
        std::optional<EchoReply> reply;
        QObject context;
        PingHost(QString::fromLatin1(address), "Testing 123", &context,
                 [&](const EchoReply& r) { reply = r; });
        EXPECT_FALSE(reply) << "never inside the call";
        ASSERT_TRUE(waitUntil([&] { return reply.has_value(); }));
        EXPECT_EQ(currentPingTimeout(), timeout);
        if (dotted)
            expectLoopbackOutcome(*reply, available, "Testing 123");
        else
            EXPECT_EQ(reply->status, -1);
    }
    globals() = GlobalSettings{};
    setCurrentPingTimeout(1000);
}

class SilentPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("LUMIVEX_SILENT_PEER"))
            GTEST_SKIP() << "for the run in a namespace that ignores echoes";
    }
    void TearDown() override { globals() = GlobalSettings{}; }
};

TEST_F(SilentPeer, EachKindTimesOutNotBeforeItsTimeAndNoRouteFailsAtOnce) {
    for (const auto kind : {EchoSocket::Kind::Datagram, EchoSocket::Kind::Raw}) {
        EchoService service([kind] { return EchoSocket::open(kind); });
        QTimer turns;
        QSignalSpy loopTurns(&turns, &QTimer::timeout);
        turns.start(5);
        QElapsedTimer clock;
        clock.start();
        auto reply = echoAndWait(service, kLoopbackAddress, "Testing 123", 300ms);
        const qint64 waited = clock.restart();
        EXPECT_EQ(reply.value_or(EchoReply{}).status, EchoStatus::RequestTimedOut);
        EXPECT_TRUE(waited >= 295 && waited < 2000) << waited;
        EXPECT_GT(loopTurns.size(), 10) << "the event loop ran while the echo was out";

        reply = echoAndWait(service, 0x0a090807, "x", 2000ms); // 10.9.8.7: no route
        EXPECT_EQ(reply.value_or(EchoReply{}).status, EchoStatus::DestNetUnreachable);
        EXPECT_LT(clock.elapsed(), 1000);
    }
}

TEST_F(SilentPeer, MonitorDropsTheSilentPeer) {
    globals().PingEnabled = 1;
    globals().PingFrequency = 0;
    globals().PingTimeout = 4; // 500 ms
    ServerTestSession session;
    LinkMonitor monitor(session);
    QTcpSocket* silent = session.connectClient();
    for (int i = 0; i < 9; ++i)
        monitor.tick();
    ASSERT_EQ(monitor.pendingEchoes(), 1);
    ASSERT_TRUE(waitUntil([&] { return !session.closed.empty(); }));
    EXPECT_EQ(session.closed, std::vector<int>{1});
    EXPECT_EQ(session.log,
              QStringList{"Ping Failed - Ping Result = 11010   [IP Request Timed Out]"});
    EXPECT_TRUE(waitUntil([&] { return silent->state() == QAbstractSocket::UnconnectedState; }));
}

} // namespace
