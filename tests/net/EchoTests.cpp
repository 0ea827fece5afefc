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
        ASSERT_TRUE(available || !echoRequired()) << "this run sets up both kinds";
    }
    EchoService::Opener opener() const {
        return [kind = GetParam()] {
            return EchoSocket::open(kind);
        };
    }
    bool available = false;
};

TEST_P(EchoOverKind, TwoSendersWithTheSameSequenceEachGetTheirOwnReply) {
    // Both start at sequence 1; a raw socket sees the other's reply as well.
    EchoService first(opener());
    EchoService second(opener());
    std::optional<EchoReply> a;
    std::optional<EchoReply> b;
    QObject context;
    const QByteArray long300(300, 'x'), withNul("with\0nul", 8);
    first.send(kLoopbackAddress, long300, std::chrono::seconds(2), &context,
               [&](const EchoReply& r) { a = r; });
    second.send(kLoopbackAddress, withNul, std::chrono::seconds(2), &context,
                [&](const EchoReply& r) { b = r; });
    ASSERT_TRUE(waitUntil([&] { return a && b; }));
    expectLoopbackOutcome(*a, available, long300);
    expectLoopbackOutcome(*b, available, withNul);
    EXPECT_EQ(first.pendingCount() + second.pendingCount(), 0);
}

TEST_P(EchoOverKind, OutcomeComesFromTheEventLoopAndNotAfterItsContextIsGone) {
    EchoService service(opener());
    bool called = false;
    auto context = std::make_unique<QObject>();
    service.send(kLoopbackAddress, "x", std::chrono::seconds(2), context.get(),
                 [&](const EchoReply&) { called = true; });
    EXPECT_FALSE(called) << "never inside the send";
    context.reset();
    ASSERT_TRUE(echoAndWait(service, kLoopbackAddress, "y")) << "a later request still ends";
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
    for (const char* address : {"localhost", "127.0.0.1x", "255.255.255.255", "1.2.3.4.5"})
        EXPECT_EQ(ping(QString::fromLatin1(address), "Testing 123").status, -1) << address;
}

TEST_F(PingHostTest, LoopbackAnswersOrFailsAndTheTimeoutFollowsTheSetting) {
    const bool available = EchoService::instance().available();
    ASSERT_TRUE(available || !echoRequired());
    const std::tuple<const char*, int, int> rows[] = {{"127.1", 0, 100}, {"127.0.0.1", 19, 2000}};
    for (const auto& [address, timeoutIndex, timeout] : rows) {
        globals().PingTimeout = timeoutIndex;
        const EchoReply reply = ping(QString::fromLatin1(address), "Testing 123");
        EXPECT_EQ(currentPingTimeout(), timeout);
        expectLoopbackOutcome(reply, available, "Testing 123");
    }
}

} // namespace
