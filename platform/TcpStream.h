#pragma once
// A socket element's TCP connection: one it makes as a client, or one a listener accepted.
// It reads at most the read limit ahead of the caller (the rest waits in the kernel, so TCP
// flow control holds a fast sender back), keeps at most the send limit unsent, and asks the
// kernel to watch an idle connection (TcpKeepAlive).

#include "platform/SocketRole.h"

#include <QAbstractSocket>
#include <memory>

class QTcpSocket;

class TcpStream final : public SocketRole {
    Q_OBJECT

public:
    // A client connection, made by connectToHost().
    TcpStream(qint64 readLimit, QObject* parent);
    // A connection a listener accepted; one whose peer has closed already starts PeerClosing.
    TcpStream(std::unique_ptr<QTcpSocket> accepted, qint64 readLimit, QObject* parent);
    ~TcpStream() override;

    // Before connectToHost(): the local address and port to connect from.
    ComponentResult bind(const QHostAddress& address, int port);
    void connectToHost(const QString& host, int port);

    Socket::States state() const override { return state_; }
    int localPort() const override;
    QHostAddress peerAddress() const override;
    int peerPort() const override;

    ComponentResult send(const QByteArray& data, qint64 sendLimit, qint64* taken) override;
    QByteArray read(qint64 maxBytes) override;
    qint64 bytesToSend() const override;
    qint64 bytesAvailable() const override;
    bool peerHasLeft() const override;
    void setReadLimit(qint64 bytes) override;
    // Hands the connection to a StreamCloser, which delivers what is still unsent.
    void close(std::chrono::milliseconds lingerLimit) override;

private:
    TcpStream(std::unique_ptr<QTcpSocket> socket, Socket::States state, qint64 readLimit,
              QObject* parent);
    void onStateChanged(QAbstractSocket::SocketState qtState);
    void onConnected();
    void onBytesWritten(qint64 bytes);
    void onError(QAbstractSocket::SocketError qtError);
    void onDisconnected();

    std::unique_ptr<QTcpSocket> socket_;
    Socket::States state_;
};
