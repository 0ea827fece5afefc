#pragma once
// A socket element's UDP socket. Received datagrams wait in a bounded queue, each announced
// by one dataArrival; empty ones carry nothing and are dropped on arrival.
//
// Whom it talks to: with a target host (a UDP client) it always sends to target host and port
// and takes datagrams only from that host, so that a stray datagram can neither redirect the
// device's output nor write a stranger's bytes to it. Without one (a UDP server) it answers
// whoever sent last, and has nowhere to send before anyone has.
//
// Sending: a datagram the kernel has no room for right now is held, in order, and sent when
// the socket is writable again; so is one waiting for the target's name to resolve. The
// caller bounds what is held (its send limit) and hears of room coming back through
// bytesSent and sendComplete. Datagrams that cannot be sent at all (nowhere to send, a name
// that does not resolve, a network that refuses them) are dropped and counted.

#include "platform/SocketRole.h"
#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <deque>

class UdpEndpoint final : public SocketRole {
    Q_OBJECT

public:
    // The largest UDP payload over IPv4; longer sends go out as several datagrams.
    static constexpr qint64 kMaxDatagramBytes = 65507;
    // Received datagrams held at most, however small they are.
    static constexpr qsizetype kMaxQueuedDatagrams = 1024;

    // Takes a bound datagram socket.
    UdpEndpoint(UniqueFd bound, qint64 readLimit, QObject* parent);

    // An empty host makes the endpoint answer the last sender (port is then not used).
    void setTarget(const QString& host, int port);
    bool keepsToTarget() const { return !targetHost_.isEmpty(); }
    // Datagrams dropped: from other hosts than the target, or not sendable.
    qint64 droppedDatagrams() const { return dropped_; }

    Socket::States state() const override { return Socket::States::Open; }
    int localPort() const override { return port_; }
    QHostAddress peerAddress() const override { return lastSender_; }
    int peerPort() const override { return lastSenderPort_; }

    // Takes whole datagrams while they fit within sendLimit held bytes (an empty queue takes
    // one whatever its size); a datagram that cannot be sent at all counts as taken and makes
    // the result a failure.
    ComponentResult send(const QByteArray& data, qint64 sendLimit, qint64* taken) override;
    // The oldest datagram, whole (maxBytes does not cut it).
    QByteArray read(qint64 maxBytes) override;
    qint64 bytesToSend() const override { return outgoingBytes_; }
    qint64 bytesAvailable() const override { return receivedBytes_; }
    void setReadLimit(qint64 bytes) override { readLimit_ = bytes; }
    void close(std::chrono::milliseconds lingerLimit) override;

private:
    // A datagram to send; a null address stands for the target, once it is known.
    struct Outgoing {
        QByteArray data;
        QHostAddress to;
        int port = 0;
    };

    bool queueFull() const;
    void receive();
    ComponentResult sendOne(Outgoing datagram);
    int transmit(const Outgoing& datagram);
    void hold(Outgoing datagram);
    void flush();
    void resolveTarget();
    void onTargetResolved(const QString& address);
    void dropWaitingForTarget();
    void stopLookup();

    UniqueFd fd_;
    NotifierPtr reader_;
    NotifierPtr writer_; // on only while datagrams are held for kernel room
    int port_;
    qint64 readLimit_;
    QByteArray buffer_;

    std::deque<QByteArray> received_;
    qint64 receivedBytes_ = 0;
    QHostAddress lastSender_;
    int lastSenderPort_ = 0;

    QString targetHost_;
    int targetPort_ = 0;
    QHostAddress target_;    // targetHost_ resolved
    bool resolving_ = false; // a lookup of targetHost_ runs
    quint64 lookups_ = 0;    // the latest lookup's number: older answers are ignored

    std::deque<Outgoing> outgoing_;
    qint64 outgoingBytes_ = 0;
    qint64 dropped_ = 0;
};
