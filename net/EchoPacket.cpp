#include "net/EchoPacket.h"

#include "net/EchoStatus.h"

#include <QtEndian>
#include <cerrno>

namespace {

constexpr int kIcmpHeaderSize = 8;
constexpr int kMinIpHeaderSize = 20;
constexpr quint8 kEchoReply = 0;
constexpr quint8 kDestUnreachable = 3;
constexpr quint8 kSourceQuench = 4;
constexpr quint8 kEchoRequest = 8;
constexpr quint8 kTimeExceeded = 11;
constexpr quint8 kParameterProblem = 12;
constexpr quint8 kProtocolIcmp = 1;

quint16 read16(const QByteArray& bytes, int offset) {
    return qFromBigEndian<quint16>(bytes.constData() + offset);
}

// The IPv4 header length of a packet, or 0 when it is no sound IPv4 header.
int ipHeaderLength(const QByteArray& packet) {
    if (packet.size() < kMinIpHeaderSize || (static_cast<quint8>(packet[0]) >> 4) != 4)
        return 0;
    const int length = (static_cast<quint8>(packet[0]) & 0x0f) * 4;
    return length >= kMinIpHeaderSize && length <= packet.size() ? length : 0;
}

// An error report quotes the IP header and the start of the packet it is about.
std::optional<IcmpEchoMessage> parseErrorReport(const QByteArray& icmp, int type, int code) {
    const QByteArray quoted = icmp.mid(kIcmpHeaderSize);
    const int headerLength = ipHeaderLength(quoted);
    if (headerLength == 0 || static_cast<quint8>(quoted[9]) != kProtocolIcmp)
        return std::nullopt;
    auto request = parseEchoRequest(quoted.mid(headerLength));
    if (!request)
        return std::nullopt;
    return IcmpEchoMessage{
        request->identifier, request->sequence, statusOfIcmpError(type, code), {}};
}

} // namespace

quint16 internetChecksum(const QByteArray& bytes) {
    quint32 sum = 0;
    const int size = static_cast<int>(bytes.size());
    for (int i = 0; i + 1 < size; i += 2)
        sum += read16(bytes, i);
    if (size % 2 != 0)
        sum += static_cast<quint32>(static_cast<quint8>(bytes[size - 1])) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

QByteArray buildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray& data) {
    QByteArray packet(kIcmpHeaderSize, '\0');
    packet[0] = static_cast<char>(kEchoRequest);
    qToBigEndian<quint16>(identifier, packet.data() + 4);
    qToBigEndian<quint16>(sequence, packet.data() + 6);
    packet += data;
    qToBigEndian<quint16>(internetChecksum(packet), packet.data() + 2);
    return packet;
}

std::optional<IcmpEchoMessage> parseIcmpMessage(const QByteArray& icmp) {
    if (icmp.size() < kIcmpHeaderSize)
        return std::nullopt;
    const int type = static_cast<quint8>(icmp[0]);
    const int code = static_cast<quint8>(icmp[1]);
    switch (type) {
    case kEchoReply:
        return IcmpEchoMessage{read16(icmp, 4), read16(icmp, 6), EchoStatus::Success,
                               icmp.mid(kIcmpHeaderSize)};
    case kDestUnreachable:
    case kSourceQuench:
    case kTimeExceeded:
    case kParameterProblem:
        return parseErrorReport(icmp, type, code);
    default:
        return std::nullopt;
    }
}

std::optional<IcmpEchoMessage> parseEchoRequest(const QByteArray& icmp) {
    if (icmp.size() < kIcmpHeaderSize || static_cast<quint8>(icmp[0]) != kEchoRequest)
        return std::nullopt;
    return IcmpEchoMessage{read16(icmp, 4), read16(icmp, 6), EchoStatus::Success,
                           icmp.mid(kIcmpHeaderSize)};
}

std::optional<IcmpEchoMessage> parseIpPacket(const QByteArray& packet) {
    const int headerLength = ipHeaderLength(packet);
    if (headerLength == 0)
        return std::nullopt;
    return parseIcmpMessage(packet.mid(headerLength));
}

int statusOfIcmpError(int type, int code) {
    switch (type) {
    case kDestUnreachable:
        switch (code) {
        case 0:
        case 6:
        case 9:
        case 11:
            return EchoStatus::DestNetUnreachable;
        case 2:
            return EchoStatus::DestProtUnreachable;
        case 3:
            return EchoStatus::DestPortUnreachable;
        case 4:
            return EchoStatus::PacketTooBig;
        case 5:
            return EchoStatus::BadRoute;
        default:
            return EchoStatus::DestHostUnreachable;
        }
    case kSourceQuench:
        return EchoStatus::SourceQuench;
    case kTimeExceeded:
        return code == 0 ? EchoStatus::TtlExpiredTransit : EchoStatus::TtlExpiredReassembly;
    case kParameterProblem:
        return EchoStatus::ParameterProblem;
    default:
        return EchoStatus::GeneralFailure;
    }
}

int statusOfSendError(int error) {
    switch (error) {
    case ENETUNREACH:
    case ENETDOWN:
        return EchoStatus::DestNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return EchoStatus::DestHostUnreachable;
    case EMSGSIZE:
        return EchoStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
    case EAGAIN:
        return EchoStatus::NoResources;
    case EACCES:
    case EINVAL:
    case EADDRNOTAVAIL:
        return EchoStatus::BadDestination;
    default:
        return EchoStatus::GeneralFailure;
    }
}
