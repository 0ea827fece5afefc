// Real echo requests to 127.0.0.1 over each kind of ICMP socket. Where a kind cannot be
// opened (an ordinary user with Debian's ping_group_range), the request must end with
// "IP General Failure", never with success. The namespace run requires both kinds to work.
#include "model/GlobalSettings.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "tests/net/EchoTestSupport.h"

#include <gtest/gtest.h>

namespace {

using Kind = EchoSocket::Kind;

class EchoOverKind : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        available = EchoSocket::open(GetParam()).has_value();
        if (echoRequired()) {
            ASSERT_TRUE(available) << "this run sets up both kinds of echo socket";
        }
    }
    EchoService::Opener opener() const {
        return [kind = GetParam()] {
            return EchoSocket::open(kind);
        };
    }
    bool available = false;
};

TEST_P(EchoOverKind, LoopbackSendsTheDataBack) {
    EchoService service(opener());
    const QByteArray long300(300, 'x');
    for (const QByteArray& data :
         {QByteArray("Testing 123"), QByteArray(), long300, QByteArray("with\0nul", 8)}) {
        const auto reply = echoAndWait(service, kLoopbackAddress, data);
        ASSERT_TRUE(reply) << "the echo must end within its time-out";
        expectLoopbackOutcome(*reply, available, data);
    }
    EXPECT_EQ(service.pendingCount(), 0);
}

TEST_P(EchoOverKind, TwoSendersWithTheSameSequenceEachGetTheirOwnReply) {
    // Both start at sequence 1; a raw socket sees the other's reply as well.
    EchoService first(opener());
    EchoService second(opener());
    std::optional<EchoReply> a;
    std::optional<EchoReply> b;
    QObject context;
    first.send(kLoopbackAddress, "first sender", std::chrono::seconds(2), &context,
               [&](const EchoReply& r) { a = r; });
    second.send(kLoopbackAddress, "second", std::chrono::seconds(2), &context,
                [&](const EchoReply& r) { b = r; });
    ASSERT_TRUE(waitUntil([&] { return a && b; }));
    expectLoopbackOutcome(*a, available, "first sender");
    expectLoopbackOutcome(*b, available, "second");
}

TEST_P(EchoOverKind, OutcomeComesFromTheEventLoopAndNotAfterItsContextIsGone) {
    EchoService service(opener());
    bool called = false;
    auto context = std::make_unique<QObject>();
    service.send(kLoopbackAddress, "x", std::chrono::seconds(2), context.get(),
                 [&](const EchoReply&) { called = true; });
    EXPECT_FALSE(called) << "never inside the send";
    context.reset();
    // A later request on the same service still ends, and the first one's callback never runs.
    const auto reply = echoAndWait(service, kLoopbackAddress, "y");
    ASSERT_TRUE(reply);
    waitUntil([&] { return service.pendingCount() == 0; });
    EXPECT_FALSE(called);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EchoOverKind, ::testing::Values(Kind::Datagram, Kind::Raw),
                         [](const auto& info) {
                             return info.param == Kind::Datagram ? "Datagram" : "Raw";
                         });

TEST(EchoService, WithoutAnyEchoSocketEveryRequestIsAGeneralFailure) {
    EchoService service([] { return std::optional<EchoSocket>(); });
    EXPECT_FALSE(service.available());
    const auto reply = echoAndWait(service, kLoopbackAddress, "Testing 123");
    ASSERT_TRUE(reply);
    expectLoopbackOutcome(*reply, false, "Testing 123");
    EXPECT_EQ(PingStatusText(reply->status), QStringLiteral("11050   [IP General Failure]"));
}

class PingHostTest : public ::testing::Test {
protected:
    void TearDown() override {
        globals().PingTimeout = 9;
        setCurrentPingTimeout(1000);
    }
    static EchoReply ping(const QString& address, const QByteArray& data) {
        std::optional<EchoReply> outcome;
        QObject context;
        PingHost(address, data, &context, [&](const EchoReply& r) { outcome = r; });
        EXPECT_FALSE(outcome) << "never inside the call";
        waitUntil([&] { return outcome.has_value(); });
        return outcome.value_or(EchoReply{});
    }
};

TEST_F(PingHostTest, AnythingButADottedAddressIsBadFormat) {
    for (const char* address :
         {"localhost", "", "127.0.0.1x", "255.255.255.255", "1.2.3.4.5", "::1"}) {
        const EchoReply reply = ping(QString::fromLatin1(address), "Testing 123");
        EXPECT_EQ(reply.status, -1) << address;
        EXPECT_EQ(PingStatusText(reply.status), QStringLiteral("-1   [Bad IP Format]"));
    }
    EXPECT_EQ(ping(QStringLiteral("127.0.0.1\u00e9"), "x").status, -1);
}

TEST_F(PingHostTest, LoopbackAnswersOrFailsAndTheTimeoutFollowsTheSetting) {
    const bool available = EchoService::instance().available();
    if (echoRequired()) {
        ASSERT_TRUE(available);
    }
    const struct {
        const char* address;
        int timeoutIndex;
        int timeout;
    } rows[] = {{"127.0.0.1", 0, 100}, {"127.1", 9, 1000}, {"127.0.0.1", 19, 2000}};
    for (const auto& row : rows) {
        globals().PingTimeout = row.timeoutIndex;
        const EchoReply reply = ping(QString::fromLatin1(row.address), "Testing 123");
        EXPECT_EQ(currentPingTimeout(), row.timeout);
        expectLoopbackOutcome(reply, available, "Testing 123");
    }
    std::optional<EchoReply> hello;
    QObject context;
    KeepAlivePing(QStringLiteral("127.0.0.1"), &context, [&](const EchoReply& r) { hello = r; });
    ASSERT_TRUE(waitUntil([&] { return hello.has_value(); }));
    expectLoopbackOutcome(*hello, available, "Hello");
}

TEST(NetStartup, HasNothingToStartOnLinux) {
    EXPECT_TRUE(NetStartup());
    NetCleanup();
}

} // namespace
