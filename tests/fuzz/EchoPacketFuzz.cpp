// The echo reply parser on any packet: it reads what the headers say and no byte beyond the
// packet, takes only echo replies and error reports that quote an echo request, and every
// request we build comes back intact as a reply and inside an error report.

#include "net/EchoPacket.h"
#include "net/EchoStatus.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QtEndian>

namespace {

constexpr int kIcmpHeader = 8;
constexpr int kIpHeader = 20;

bool isKnownStatus(int status) {
    return status == EchoStatus::Success || (status >= 11001 && status <= 11050) ||
           status == EchoStatus::Pending;
}

quint16 read16(const QByteArray& bytes, int at) {
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

QByteArray ipv4Header(int payload) {
    QByteArray header(kIpHeader, '\0');
    header[0] = 0x45;
    qToBigEndian<quint16>(static_cast<quint16>(kIpHeader + payload), header.data() + 2);
    header[8] = 64;
    header[9] = 1; // ICMP
    return header;
}

QByteArray withChecksum(QByteArray icmp) {
    icmp[2] = icmp[3] = 0;
    qToBigEndian<quint16>(internetChecksum(icmp), icmp.data() + 2);
    return icmp;
}

void checkParsed(const QByteArray& icmp) {
    const auto message = parseIcmpMessage(icmp);
    const int type = icmp.isEmpty() ? -1 : static_cast<quint8>(icmp[0]);
    if (icmp.size() < kIcmpHeader ||
        (type != 0 && type != 3 && type != 4 && type != 11 && type != 12)) {
        FUZZ_CHECK(!message); // our own requests on loopback and all other traffic
        return;
    }
    if (type == 0) {
        FUZZ_CHECK(message && message->status == EchoStatus::Success);
        FUZZ_CHECK(message->identifier == read16(icmp, 4) && message->sequence == read16(icmp, 6));
        FUZZ_CHECK(message->data == icmp.mid(kIcmpHeader));
        return;
    }
    if (message) {
        FUZZ_CHECK(isKnownStatus(message->status) && message->status != EchoStatus::Success);
        FUZZ_CHECK(message->data.isEmpty());
    }
}

void checkIpPacket(const QByteArray& packet) {
    const auto message = parseIpPacket(packet);
    if (!message)
        return;
    const int headerLength = (static_cast<quint8>(packet[0]) & 0x0f) * 4;
    FUZZ_CHECK((static_cast<quint8>(packet[0]) >> 4) == 4);
    FUZZ_CHECK(headerLength >= kIpHeader && headerLength <= packet.size());
    const auto inner = parseIcmpMessage(packet.mid(headerLength));
    FUZZ_CHECK(inner && inner->identifier == message->identifier &&
               inner->sequence == message->sequence && inner->status == message->status &&
               inner->data == message->data);
}

// A request built from the input travels as a reply and is quoted by an error report.
void checkRoundTrip(const QByteArray& bytes) {
    if (bytes.size() < 5)
        return;
    const quint16 identifier = read16(bytes, 0);
    const quint16 sequence = read16(bytes, 2);
    const int code = static_cast<quint8>(bytes[4]) % 16;
    const QByteArray data = bytes.mid(5);

    const QByteArray request = buildEchoRequest(identifier, sequence, data);
    FUZZ_CHECK(internetChecksum(request) == 0);
    const auto asRequest = parseEchoRequest(request);
    FUZZ_CHECK(asRequest && asRequest->identifier == identifier &&
               asRequest->sequence == sequence && asRequest->data == data);

    QByteArray reply = request;
    reply[0] = 0;
    const auto asReply = parseIpPacket(ipv4Header(reply.size()) + withChecksum(reply));
    FUZZ_CHECK(asReply && asReply->identifier == identifier && asReply->sequence == sequence &&
               asReply->data == data);

    QByteArray report(kIcmpHeader, '\0');
    report[0] = 3; // destination unreachable
    report[1] = static_cast<char>(code);
    report = withChecksum(report + ipv4Header(request.size()) + request);
    const auto asReport = parseIcmpMessage(report);
    FUZZ_CHECK(asReport && asReport->identifier == identifier && asReport->sequence == sequence &&
               asReport->status == statusOfIcmpError(3, code) && asReport->data.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = inputBytes(data, size);
    checkParsed(bytes);
    checkIpPacket(bytes);
    FUZZ_CHECK(!parseEchoRequest(bytes) == (bytes.size() < kIcmpHeader || bytes[0] != 8));
    checkRoundTrip(bytes);
    return 0;
}
