#pragma once
// One element of a session's socket array: a TCP client, a TCP listener, a connection accepted
// from a listener, or a UDP endpoint. Calls never block and never throw: a call that cannot be
// done returns a failure with a Winsock number; what happens later (connected, data, close,
// errors) arrives as signals (SocketEvents) on the event loop, never from inside the call that
// caused it.
// Test doubles derive from this class and emit the same signals.

#include "platform/ComponentResult.h"
#include "platform/SocketEvents.h"

#include <QByteArray>
#include <QString>
#include <limits>

class Socket : public SocketEvents {
    Q_OBJECT

public:
    enum class Protocols : int { Tcp = 0, Udp = 1 };

    // The values State() reports.
    enum class States : int {
        Closed = 0,
        Open = 1, // bound (UDP, or TCP before Listen)
        Listening = 2,
        ConnectionPending = 3, // kept for completeness; requests are announced, not held
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        PeerClosing = 8, // the peer closed; received bytes can still be taken
        Error = 9        // a socket error was reported; Close() to use it again
    };

    using SocketEvents::SocketEvents;
    ~Socket() override = default;

    virtual int RemotePort() const = 0;
    virtual ComponentResult setRemotePort(int port) = 0;
    virtual int LocalPort() const = 0;
    virtual ComponentResult setLocalPort(int port) = 0;
    virtual int Protocol() const = 0;
    virtual ComponentResult setProtocol(int protocol) = 0;
    virtual QString RemoteHost() const = 0;
    // UDP: with a RemoteHost the element is a client; it sends to RemoteHost:RemotePort and
    // takes datagrams only from that host. Without one it answers whoever sent last.
    virtual ComponentResult setRemoteHost(const QString& host) = 0;
    virtual QString RemoteHostIP() const = 0;
    virtual QString LocalIP() const = 0;
    virtual int State() const = 0;

    virtual ComponentResult Connect() = 0;
    virtual ComponentResult Listen() = 0;
    virtual ComponentResult Accept(int requestId) = 0;
    // Queues data for sending and tells in taken how many bytes it took; the caller keeps the
    // rest until bytesSent or sendComplete says room came back. A TCP element takes at most
    // sendRoom() bytes. A UDP element sends whole datagrams (at most 65507 bytes each; longer
    // data goes out in pieces): it takes a datagram when it fits in sendRoom() or nothing is
    // held; one the kernel has no room for is held and sent later. A datagram that cannot be
    // sent at all (nowhere to send, a network that refuses it) is dropped and counted
    // (droppedDatagrams) and makes the result a failure, but counts as taken: holding it back
    // would not help.
    virtual ComponentResult SendData(const QByteArray& data, qint64* taken = nullptr) = 0;
    // Takes received bytes: up to maxBytes of a TCP stream (the rest stays with the socket and
    // the kernel, so TCP flow control holds the sender), or the next whole datagram.
    virtual QByteArray GetData(qint64 maxBytes) = 0;
    QByteArray GetData() { return GetData(std::numeric_limits<qint64>::max()); }
    virtual ComponentResult Close() = 0;
    virtual ComponentResult Bind(int localPort, const QString& localAddress = {}) = 0;

    // Bytes handed to SendData that are not yet with the kernel.
    virtual qint64 bytesToSend() const = 0;
    // The most bytes SendData may hold unsent; unlimited until set. bytesSent tells that room
    // came back: it reports bytes leaving the send queue after SendData returned (what SendData
    // hands to the kernel at once is not queued and not reported).
    virtual void setSendLimit(qint64 bytes) = 0;
    // What SendData takes now: the send limit less bytesToSend(), never below 0.
    virtual qint64 sendRoom() const = 0;
    // Bytes GetData would return now.
    virtual qint64 bytesAvailable() const = 0;
    // Datagrams a UDP element dropped since it was opened: from a host other than a UDP
    // client's RemoteHost, or ones it could not send at all. Always 0 for TCP.
    virtual qint64 droppedDatagrams() const { return 0; }
    // True when a TCP connection's peer has closed or reset it and left nothing to read, asked
    // of the kernel now, before the connection's own close event has been handled.
    virtual bool peerHasLeft() const { return false; }
};
