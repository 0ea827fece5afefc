#pragma once
// The socket element: the one object a session holds in each slot of its socket array, over
// Qt's sockets and the kernel's. IPv4 only, no proxy.
//
// The element keeps what the session sets and reads (protocol, remote host and port, local
// port, limits) across activations; while open it hands the work to one role at a time: a
// TcpStream (a connection it makes, or one it accepted), a TcpListener, or a UdpEndpoint. It
// also keeps the rule that an event caused by a call arrives after the call has returned.

#include "platform/Socket.h"
#include "platform/linux/UniqueFd.h"

#include <QHostAddress>
#include <chrono>
#include <functional>

class SocketRole;

class QtSocket final : public Socket {
    Q_OBJECT

public:
    // What a TCP element keeps of received bytes before it stops reading, so that TCP flow
    // control holds a fast sender back; also the bound of queued UDP datagrams.
    static constexpr qint64 kDefaultReadBufferBytes = 64 * 1024;
    // How long a closed connection may still deliver bytes queued before its Close(); a
    // peer that reads nothing must not hold the connection open for ever.
    static constexpr std::chrono::milliseconds kDefaultLingerLimit{30'000};

    explicit QtSocket(QObject* parent = nullptr);
    ~QtSocket() override;

    int RemotePort() const override { return remotePort_; }
    ComponentResult setRemotePort(int port) override;
    int LocalPort() const override;
    ComponentResult setLocalPort(int port) override;
    int Protocol() const override { return static_cast<int>(protocol_); }
    ComponentResult setProtocol(int protocol) override;
    QString RemoteHost() const override { return remoteHost_; }
    ComponentResult setRemoteHost(const QString& host) override;
    QString RemoteHostIP() const override { return remoteHostIP_; }
    QString LocalIP() const override;
    int State() const override;

    ComponentResult Connect() override;
    ComponentResult Listen() override;
    ComponentResult Accept(int requestId) override;
    ComponentResult SendData(const QByteArray& data, qint64* taken = nullptr) override;
    QByteArray GetData(qint64 maxBytes) override;
    using Socket::GetData;
    ComponentResult Close() override;
    ComponentResult Bind(int localPort, const QString& localAddress = {}) override;

    qint64 bytesToSend() const override;
    qint64 bytesAvailable() const override;
    void setSendLimit(qint64 bytes) override { sendLimit_ = std::max<qint64>(bytes, 0); }
    qint64 sendRoom() const override;
    qint64 droppedDatagrams() const override;
    bool peerHasLeft() const override;

    // Applies to connections made or accepted from now on (and to the current one).
    void setReadBufferLimit(qint64 bytes);
    // Applies to connections closed from now on.
    void setLingerLimit(std::chrono::milliseconds limit) { lingerLimit_ = limit; }
    // A listener's retry handler (its timer calls it after a failed accept); does nothing
    // otherwise. Public so that tests need not wait for the timer.
    void retryAccept();

private:
    bool isClosed() const { return !role_ && !boundTcp_.valid(); }
    bool isTcp() const { return protocol_ == Protocols::Tcp; }
    void deliver(std::function<void()> event);
    void adopt(SocketRole* role);
    void releaseRole();
    ComponentResult openUdp(const QHostAddress& address, int port);
    void retargetUdp();
    void onDataArrival(qint64 bytes);

    Protocols protocol_ = Protocols::Tcp;
    int remotePort_ = 0;
    int localPort_ = 0;
    QString remoteHost_;
    QString remoteHostIP_;
    qint64 readLimit_ = kDefaultReadBufferBytes;
    qint64 sendLimit_ = std::numeric_limits<qint64>::max();
    std::chrono::milliseconds lingerLimit_ = kDefaultLingerLimit;

    // Bumped by Close() so that events queued for an earlier connection are dropped.
    quint64 generation_ = 0;
    // Set while a call runs: events caused by the call are queued until it returns.
    bool inCall_ = false;

    SocketRole* role_ = nullptr; // a child; deleted through the event loop
    UniqueFd boundTcp_;          // a TCP Bind() waiting for Listen() or Connect()
    QHostAddress boundAddress_;
};
