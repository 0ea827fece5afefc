// Status texts, the echo time-out rule, echo packets and the address forms.
#include "net/EchoPacket.h"
#include "net/EchoReply.h"
#include "net/EchoStatus.h"
#include "net/HostResolve.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(StatusText, TimeoutTextFollowsTheCurrentTimeoutAndYieldsToKnownCodes) {
    const std::tuple<int, int, const char*> rows[] = {
        // current time-out, code, text
        {11010, 11010, "11010   [IP Request Timed Out]"},
        {1000, 1000, "1000   [Ping Timeout]"},
        {1000, 1001, "1001   [Unknown Message Returned]"},
        {2000, 1000, "1000   [Unknown Message Returned]"},
        {0, 0, "0   [IP Success]"},
        {1000, -1, "-1   [Bad IP Format]"},
    };
    for (const auto& [timeout, code, text] : rows) {
        setCurrentPingTimeout(timeout);
        EXPECT_EQ(PingStatusText(code), QString::fromLatin1(text)) << timeout;
    }
    setCurrentPingTimeout(1000);
}

TEST(PingTimeout, IndexGivesHundredMillisecondSteps) {
    const std::pair<int, int> rows[] = {{0, 100}, {19, 2000}, {-1, 500}, {INT_MAX, 500}};
    for (const auto& [index, milliseconds] : rows)
        EXPECT_EQ(pingTimeoutForIndex(index), milliseconds) << index;
}

TEST(EchoPacket, RequestCarriesIdentifierSequenceDataAndAValidChecksum) {
    const QByteArray packet = buildEchoRequest(0x1234, 0xabcd, "Testing 123");
    ASSERT_EQ(packet.size(), 8 + 11);
    EXPECT_EQ(quint8(packet[0]), 8);
    EXPECT_EQ(internetChecksum(packet), 0) << "a packet with its checksum sums to zero";
    const auto request = parseEchoRequest(packet);
    ASSERT_TRUE(request);
    EXPECT_EQ(std::tuple(request->identifier, request->sequence, request->data),
              std::tuple(0x1234, 0xabcd, QByteArray("Testing 123")));
    EXPECT_EQ(internetChecksum(buildEchoRequest(0xffff, 0xffff, QByteArray(999, '\xff'))), 0);
}

QByteArray ipHeader(int protocol, int optionBytes = 0) {
    QByteArray header(20 + optionBytes, '\0');
    header[0] = char(0x40 | ((20 + optionBytes) / 4));
    header[9] = char(protocol);
    return header;
}

QByteArray icmp(int type, int code, const QByteArray& rest) {
    QByteArray head(8, '\0');
    head[0] = char(type);
    head[1] = char(code);
    return head + rest;
}

TEST(EchoPacket, RepliesAndErrorReportsAreReadOurOwnRequestAndMalformedPacketsAreNot) {
    const QByteArray request = buildEchoRequest(7, 9, "Hello");
    QByteArray reply = request;
    reply[0] = 0;
    const QByteArray quoted = ipHeader(1) + request.left(8);
    const struct {
        const char* name;
        QByteArray ipPacket;
        int status; // -2: not read
    } rows[] = {
        {"echo reply", ipHeader(1) + reply, 0},
        {"reply after IP options", ipHeader(1, 8) + reply, 0},
        {"our own request on loopback", ipHeader(1) + request, -2},
        {"host unreachable", ipHeader(1) + icmp(3, 1, quoted), 11003},
        {"TTL expired", ipHeader(1) + icmp(11, 0, quoted), 11013},
        {"report about UDP", ipHeader(1) + icmp(3, 3, ipHeader(17) + request.left(8)), -2},
        {"cut report", ipHeader(1) + icmp(3, 1, ipHeader(1) + request.left(6)), -2},
        {"short ICMP", ipHeader(1) + request.left(7), -2},
        {"not IPv4", QByteArray(1, '\x60') + QByteArray(40, '\0'), -2},
        {"header longer than packet", QByteArray(1, '\x4f') + QByteArray(30, '\0'), -2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto message = parseIpPacket(row.ipPacket);
        ASSERT_EQ(message.has_value(), row.status != -2);
        if (!message)
            continue;
        EXPECT_EQ(
            std::tuple(message->identifier, message->sequence, message->status, message->data),
            std::tuple(7, 9, row.status, row.status == 0 ? QByteArray("Hello") : QByteArray()));
    }
}

TEST(EchoAddress, WireOrderAsSignedLittleEndianAndDotted) {
    EXPECT_EQ(wireOrderAddressValue(0xc0a801c8), -939415360);
    EXPECT_EQ(DottedAddress(QByteArray("\xc0\xa8\x01\xc8", 4)), QStringLiteral("192.168.1.200"));
}

} // namespace
