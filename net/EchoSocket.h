#pragma once
// The ICMP socket that echo requests go out on: the unprivileged datagram kind where
// net.ipv4.ping_group_range admits the process, otherwise a raw socket (root or CAP_NET_RAW).
// Non-blocking; the caller watches fd() for reading.

#include "net/EchoPacket.h"
#include "platform/linux/UniqueFd.h"

#include <optional>
#include <vector>

class EchoSocket {
public:
    enum class Kind {
        Datagram, // the kernel sets the identifier and hands us only our own replies
        Raw       // we see every ICMP message of the host, IP header included
    };

    // An ICMP message about one of our requests and the address that sent it.
    struct Incoming {
        quint32 source = 0;
        IcmpEchoMessage message;
    };

    // Opens a datagram socket, else a raw one; nullopt when the process may open neither.
    static std::optional<EchoSocket> open();
    static std::optional<EchoSocket> open(Kind kind);

    Kind kind() const { return kind_; }
    int fd() const { return fd_.get(); }

    // Sends an echo request to the numeric IPv4 address; 0 or the errno of a refused send.
    int send(quint32 address, quint16 identifier, quint16 sequence, const QByteArray& data);

    // What is waiting on the socket that concerns an echo request (replies and error
    // reports), up to a bounded number of messages; other traffic is dropped. Never blocks.
    std::vector<Incoming> receiveAll();

private:
    EchoSocket(UniqueFd fd, Kind kind)
        : fd_(std::move(fd))
        , kind_(kind) {}
    void receiveErrorReports(std::vector<Incoming>& into);
    void receiveMessages(std::vector<Incoming>& into);

    UniqueFd fd_;
    Kind kind_;
};
