#pragma once
// The socket element over Qt's sockets: QTcpSocket for a client or an accepted connection,
// QTcpServer for a listener, QUdpSocket for datagrams. IPv4 only, no proxy.

#include "platform/Socket.h"
#include "platform/linux/UniqueFd.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <chrono>
#include <functional>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QHostInfo;

class QtSocket final : public Socket {
    Q_OBJECT

public:
    // What a TCP element keeps of received bytes before it stops reading, so that TCP flow
    // control holds a fast sender back; also the bound of queued UDP datagrams.
    static constexpr qint64 kDefaultReadBufferBytes = 64 * 1024;
    // How long a closed connection may still deliver bytes queued before its Close(); a
    // peer that reads nothing must not hold the connection open for ever.
    static constexpr std::chrono::milliseconds kDefaultLingerLimit{30'000};
    // The largest UDP payload over IPv4; longer sends go out as several datagrams.
    static constexpr qint64 kMaxDatagramBytes = 65507;

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
    int State() const override { return static_cast<int>(state_); }

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

    // Applies to connections made or accepted from now on (and to the current one).
    void setReadBufferLimit(qint64 bytes);
    // Applies to connections closed from now on.
    void setLingerLimit(std::chrono::milliseconds limit) { lingerLimit_ = limit; }

private:
    // Common
    bool isClosed() const { return state_ == States::Closed; }
    bool isTcp() const { return protocol_ == Protocols::Tcp; }
    void deliver(std::function<void()> event);
    void releaseAll();

    // TCP stream: client or accepted (QtSocketTcp.cpp)
    void adoptStream(QTcpSocket* stream);
    void releaseStream();
    void onStreamStateChanged(QAbstractSocket::SocketState qtState);
    void onStreamConnected();
    void onStreamReadyRead();
    void onStreamBytesWritten(qint64 bytes);
    void onStreamError(QAbstractSocket::SocketError qtError);
    void onStreamDisconnected();
    ComponentResult bindTcp(const QHostAddress& address, int port);
    ComponentResult listenOnBound();
    void onNewConnections();

    // UDP (QtSocketUdp.cpp)
    ComponentResult bindUdp(const QHostAddress& address, int port);
    ComponentResult sendDatagrams(const QByteArray& data);
    ComponentResult writeDatagrams(const QByteArray& data, const QHostAddress& to, int port);
    void readDatagrams();
    QByteArray takeDatagram();
    bool datagramQueueFull() const;
    void retargetUdp();
    void resolveUdpTarget();
    void onUdpTargetResolved(const QHostInfo& info);
    void releaseUdp();

    Protocols protocol_ = Protocols::Tcp;
    States state_ = States::Closed;
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

    QTcpSocket* stream_ = nullptr;
    QTcpServer* server_ = nullptr;
    UniqueFd boundTcp_; // a TCP Bind() waiting for Listen()
    QHostAddress boundAddress_;

    QUdpSocket* udp_ = nullptr;
    QList<QByteArray> datagrams_; // received, waiting for GetData
    qint64 datagramBytes_ = 0;
    bool targetIsSender_ = false;  // sends answer the peer that spoke last
    QHostAddress udpTarget_;       // RemoteHost resolved
    int lookupId_ = -1;            // a running lookup of RemoteHost
    QList<QByteArray> unresolved_; // sends waiting for that lookup
    qint64 unresolvedBytes_ = 0;
};
