// Status texts, the echo time-out rule, echo packets and the address forms.
#include "net/EchoPacket.h"
#include "net/EchoReply.h"
#include "net/EchoStatus.h"
#include "net/HostResolve.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

// Restores the current ping time-out after a test changes it.
class StatusText : public ::testing::Test {
protected:
    void TearDown() override { setCurrentPingTimeout(1000); }
};

TEST_F(StatusText, EveryCodeInTableOrder) {
    // The whole list as the Ping window shows it; the time-out text comes after all codes.
    const std::vector<std::pair<int, const char*>> rows{
        {0, "0   [IP Success]"},
        {-1, "-1   [Bad IP Format]"},
        {11001, "11001   [IP Buffer too_small]"},
        {11002, "11002   [IP Dest Net Unreachable]"},
        {11003, "11003   [IP Dest Host Unreachable]"},
        {11004, "11004   [IP Dest Prot Unreachable]"},
        {11005, "11005   [IP Dest Port Unreachable]"},
        {11006, "11006   [IP No Resources]"},
        {11007, "11007   [IP Bad Option]"},
        {11008, "11008   [IP Hardware Error]"},
        {11009, "11009   [IP Packet Too Big]"},
        {11010, "11010   [IP Request Timed Out]"},
        {11011, "11011   [IP Bad Request]"},
        {11012, "11012   [IP Bad Route]"},
        {11013, "11013   [IP TTL Expired Transit]"},
        {11014, "11014   [IP TTL Expired Reassembly]"},
        {11015, "11015   [IP Parameter Problem]"},
        {11016, "11016   [IP Source Quench]"},
        {11017, "11017   [IP Option Too Big]"},
        {11018, "11018   [IP Bad Destination]"},
        {11019, "11019   [IP Address Deleted]"},
        {11020, "11020   [IP Spec MTU Change]"},
        {11021, "11021   [IP MTU Changed]"},
        {11022, "11022   [IP Unload]"},
        {11023, "11023   [IP Address Added]"},
        {11050, "11050   [IP General Failure]"},
        {11255, "11255   [IP Pending]"},
        {1000, "1000   [Ping Timeout]"},
        {1001, "1001   [Unknown Message Returned]"},
        {11024, "11024   [Unknown Message Returned]"},
    };
    for (const auto& [code, text] : rows)
        EXPECT_EQ(PingStatusText(code), QString::fromLatin1(text)) << code;
}

TEST_F(StatusText, TimeoutTextFollowsTheCurrentTimeoutAndYieldsToKnownCodes) {
    const struct {
        int timeout;
        int code;
        const char* text;
    } rows[] = {
        {11010, 11010, "11010   [IP Request Timed Out]"},
        {1000, 1000, "1000   [Ping Timeout]"},
        {1000, 1001, "1001   [Unknown Message Returned]"},
        {2000, 1000, "1000   [Unknown Message Returned]"},
        {2000, 2000, "2000   [Ping Timeout]"},
        {0, 0, "0   [IP Success]"},
    };
    for (const auto& row : rows) {
        setCurrentPingTimeout(row.timeout);
        EXPECT_EQ(PingStatusText(row.code), QString::fromLatin1(row.text)) << row.timeout;
    }
}

TEST(PingTimeout, IndexGivesHundredMillisecondSteps) {
    const std::pair<int, int> rows[] = {{0, 100},  {9, 1000},      {19, 2000},    {-1, 500},
                                        {-7, 500}, {1000, 100100}, {INT_MAX, 500}};
    for (const auto& [index, milliseconds] : rows)
        EXPECT_EQ(pingTimeoutForIndex(index), milliseconds) << index;
}

TEST(EchoPacket, RequestCarriesIdentifierSequenceDataAndAValidChecksum) {
    const QByteArray packet = buildEchoRequest(0x1234, 0xabcd, "Testing 123");
    ASSERT_EQ(packet.size(), 8 + 11);
    EXPECT_EQ(quint8(packet[0]), 8);
    EXPECT_EQ(quint8(packet[1]), 0);
    EXPECT_EQ(internetChecksum(packet), 0) << "a packet with its checksum sums to zero";
    const auto request = parseEchoRequest(packet);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->identifier, 0x1234);
    EXPECT_EQ(request->sequence, 0xabcd);
    EXPECT_EQ(request->data, QByteArray("Testing 123"));
    // An odd length is padded with a zero byte for the sum.
    EXPECT_EQ(internetChecksum(buildEchoRequest(1, 2, "abc")), 0);
    EXPECT_EQ(internetChecksum(buildEchoRequest(0xffff, 0xffff, QByteArray(1000, '\xff'))), 0);
}

QByteArray ipHeader(int protocol, int extraOptionBytes = 0) {
    QByteArray header(20 + extraOptionBytes, '\0');
    header[0] = char(0x40 | ((20 + extraOptionBytes) / 4));
    header[9] = char(protocol);
    return header;
}

QByteArray asReply(QByteArray request) {
    request[0] = 0;
    return request;
}

QByteArray errorReport(int type, int code, const QByteArray& quoted) {
    QByteArray report(8, '\0');
    report[0] = char(type);
    report[1] = char(code);
    return report + quoted;
}

TEST(EchoPacket, RepliesAndErrorReportsAreReadOurOwnRequestIsNot) {
    const QByteArray request = buildEchoRequest(7, 9, "Hello");
    const QByteArray quoted = ipHeader(1) + request.left(8);
    const struct {
        const char* name;
        QByteArray ipPacket;
        bool read;
        int status;
        QByteArray data;
    } rows[] = {
        {"echo reply", ipHeader(1) + asReply(request), true, 0, "Hello"},
        {"reply after IP options", ipHeader(1, 8) + asReply(request), true, 0, "Hello"},
        {"our own request on loopback", ipHeader(1) + request, false, 0, {}},
        {"net unreachable", ipHeader(1) + errorReport(3, 0, quoted), true, 11002, {}},
        {"host unreachable", ipHeader(1) + errorReport(3, 1, quoted), true, 11003, {}},
        {"port unreachable", ipHeader(1) + errorReport(3, 3, quoted), true, 11005, {}},
        {"fragmentation needed", ipHeader(1) + errorReport(3, 4, quoted), true, 11009, {}},
        {"TTL expired", ipHeader(1) + errorReport(11, 0, quoted), true, 11013, {}},
        {"reassembly expired", ipHeader(1) + errorReport(11, 1, quoted), true, 11014, {}},
        {"parameter problem", ipHeader(1) + errorReport(12, 0, quoted), true, 11015, {}},
        {"source quench", ipHeader(1) + errorReport(4, 0, quoted), true, 11016, {}},
        {"report about UDP",
         ipHeader(1) + errorReport(3, 3, ipHeader(17) + request.left(8)),
         false,
         0,
         {}},
        {"report about a reply",
         ipHeader(1) + errorReport(3, 1, ipHeader(1) + asReply(request)),
         false,
         0,
         {}},
        {"cut report",
         ipHeader(1) + errorReport(3, 1, ipHeader(1) + request.left(6)),
         false,
         0,
         {}},
        {"timestamp request", ipHeader(1) + errorReport(13, 0, {}), false, 0, {}},
        {"short ICMP", ipHeader(1) + request.left(7), false, 0, {}},
        {"not IPv4", QByteArray(1, '\x60') + QByteArray(40, '\0'), false, 0, {}},
        {"header longer than packet", QByteArray(1, '\x4f') + QByteArray(30, '\0'), false, 0, {}},
        {"empty", {}, false, 0, {}},
    };
    for (const auto& row : rows) {
        const auto message = parseIpPacket(row.ipPacket);
        ASSERT_EQ(message.has_value(), row.read) << row.name;
        if (!message)
            continue;
        EXPECT_EQ(message->identifier, 7) << row.name;
        EXPECT_EQ(message->sequence, 9) << row.name;
        EXPECT_EQ(message->status, row.status) << row.name;
        EXPECT_EQ(message->data, row.data) << row.name;
    }
}

TEST(EchoAddress, WireOrderAsSignedLittleEndianAndDotted) {
    const struct {
        quint32 address;
        qint32 value;
        const char* dotted;
    } rows[] = {
        {0x7f000001, 16777343, "127.0.0.1"},       {0xc0a80101, 16885952, "192.168.1.1"},
        {0xc0a801c8, -939415360, "192.168.1.200"}, {0, 0, "0.0.0.0"},
        {0xffffffff, -1, "255.255.255.255"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(wireOrderAddressValue(row.address), row.value) << row.dotted;
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char(row.address >> (24 - 8 * i));
        EXPECT_EQ(DottedAddress(bytes), QString::fromLatin1(row.dotted));
    }
}

} // namespace
