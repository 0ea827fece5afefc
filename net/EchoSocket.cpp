#include "net/EchoSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// The largest IPv4 packet, so that no datagram is ever cut.
constexpr int kReceiveBufferSize = 65536;
// Messages read per call: a raw socket sees all ICMP traffic of the host, and a flood must
// not hold the event loop. What is left makes the socket readable again.
constexpr int kMaxMessagesPerCall = 64;

sockaddr_in socketAddress(quint32 address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

// The ICMP type and code of an extended error that came from an ICMP report, and its sender.
struct ReportedError {
    int type = 0;
    int code = 0;
    quint32 offender = 0;
};

std::optional<ReportedError> icmpErrorOf(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
            continue;
        const auto* error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        if (error->ee_origin != SO_EE_ORIGIN_ICMP)
            return std::nullopt;
        const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(error));
        return ReportedError{error->ee_type, error->ee_code, ntohl(offender->sin_addr.s_addr)};
    }
    return std::nullopt;
}

} // namespace

std::optional<EchoSocket> EchoSocket::open() {
    if (auto socket = open(Kind::Datagram))
        return socket;
    return open(Kind::Raw);
}

std::optional<EchoSocket> EchoSocket::open(Kind kind) {
    const int type = kind == Kind::Datagram ? SOCK_DGRAM : SOCK_RAW;
    UniqueFd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd)
        return std::nullopt;
    if (kind == Kind::Datagram) {
        // Error reports (unreachable, TTL) about our requests come on the error queue.
        const int on = 1;
        ::setsockopt(fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on);
    }
    return EchoSocket(std::move(fd), kind);
}

int EchoSocket::send(quint32 address, quint16 identifier, quint16 sequence,
                     const QByteArray& data) {
    const QByteArray packet = buildEchoRequest(identifier, sequence, data);
    const sockaddr_in to = socketAddress(address);
    const ssize_t sent = ::sendto(fd_.get(), packet.constData(), packet.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent < 0 ? errno : 0;
}

std::vector<EchoSocket::Incoming> EchoSocket::receiveAll() {
    std::vector<Incoming> incoming;
    if (kind_ == Kind::Datagram)
        receiveErrorReports(incoming);
    receiveMessages(incoming);
    return incoming;
}

// A datagram socket's error queue holds each report with the request it quotes (ICMP header
// first) and the reporting address.
void EchoSocket::receiveErrorReports(std::vector<Incoming>& into) {
    QByteArray buffer(kReceiveBufferSize, '\0');
    alignas(cmsghdr) char control[512];
    for (int n = 0; n < kMaxMessagesPerCall; ++n) {
        iovec io{buffer.data(), static_cast<size_t>(buffer.size())};
        sockaddr_in from{};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t size = ::recvmsg(fd_.get(), &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (size < 0)
            return;
        const auto error = icmpErrorOf(msg);
        const auto request = parseEchoRequest(buffer.left(size));
        if (!error || !request)
            continue;
        // The quoted packet is our own request: take its sequence.
        into.push_back({error->offender,
                        {request->identifier,
                         request->sequence,
                         statusOfIcmpError(error->type, error->code),
                         {}}});
    }
}

void EchoSocket::receiveMessages(std::vector<Incoming>& into) {
    QByteArray buffer(kReceiveBufferSize, '\0');
    for (int n = 0; n < kMaxMessagesPerCall; ++n) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t size = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size < 0)
            return;
        const QByteArray packet = buffer.left(size);
        const auto message = kind_ == Kind::Raw ? parseIpPacket(packet) : parseIcmpMessage(packet);
        if (message)
            into.push_back({ntohl(from.sin_addr.s_addr), *message});
    }
}
