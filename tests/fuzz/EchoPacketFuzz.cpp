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

// Whether the message is about the request (identifier, sequence) with this status and data.
bool isAbout(const std::optional<IcmpEchoMessage>& m, quint16 identifier, quint16 sequence,
             int status, const QByteArray& data) {
    return m && m->identifier == identifier && m->sequence == sequence && m->status == status &&
           m->data == data;
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
        FUZZ_CHECK(isAbout(message, read16(icmp, 4), read16(icmp, 6), EchoStatus::Success,
                           icmp.mid(kIcmpHeader)));
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
    FUZZ_CHECK(isAbout(parseIcmpMessage(packet.mid(headerLength)), message->identifier,
                       message->sequence, message->status, message->data));
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
    FUZZ_CHECK(isAbout(parseEchoRequest(request), identifier, sequence, EchoStatus::Success, data));

    QByteArray reply = request;
    reply[0] = 0;
    FUZZ_CHECK(isAbout(parseIpPacket(ipv4Header(reply.size()) + withChecksum(reply)), identifier,
                       sequence, EchoStatus::Success, data));

    QByteArray report(kIcmpHeader, '\0');
    report[0] = 3; // destination unreachable
    report[1] = static_cast<char>(code);
    report = withChecksum(report + ipv4Header(request.size()) + request);
    FUZZ_CHECK(
        isAbout(parseIcmpMessage(report), identifier, sequence, statusOfIcmpError(3, code), {}));
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
