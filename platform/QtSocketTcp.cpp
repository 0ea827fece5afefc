// The TCP side of the socket element: client and accepted connections, binding and listening.
#include "platform/PendingConnections.h"
#include "platform/QtSocket.h"
#include "platform/WinsockErrors.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

void QtSocket::adoptStream(QTcpSocket* stream) {
    stream_ = stream;
    stream->setReadBufferSize(readLimit_);
    connect(stream, &QAbstractSocket::stateChanged, this, &QtSocket::onStreamStateChanged);
    connect(stream, &QAbstractSocket::connected, this, &QtSocket::onStreamConnected);
    connect(stream, &QIODevice::readyRead, this, &QtSocket::onStreamReadyRead);
    connect(stream, &QIODevice::bytesWritten, this, &QtSocket::onStreamBytesWritten);
    connect(stream, &QAbstractSocket::errorOccurred, this, &QtSocket::onStreamError);
    connect(stream, &QAbstractSocket::disconnected, this, &QtSocket::onStreamDisconnected);
}

// Detaches the connection from this element. Bytes still queued for sending are delivered
// before the connection closes (within the linger limit), so a Close() right after SendData()
// loses nothing; the element itself is free at once.
void QtSocket::releaseStream() {
    if (!stream_)
        return;
    QTcpSocket* stream = std::exchange(stream_, nullptr);
    stream->disconnect(this);
    if (stream->state() == QAbstractSocket::ConnectedState && stream->bytesToWrite() > 0) {
        stream->setParent(nullptr);
        connect(stream, &QAbstractSocket::disconnected, stream, &QObject::deleteLater);
        connect(stream, &QAbstractSocket::errorOccurred, stream, &QObject::deleteLater);
        QTimer::singleShot(lingerLimit_, stream, [stream] {
            // Past the limit the connection is reset, so that what the kernel still holds for
            // a peer that reads nothing is dropped too.
            const linger reset{1, 0};
            ::setsockopt(int(stream->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                         sizeof reset);
            stream->abort();
            stream->deleteLater();
        });
        stream->disconnectFromHost();
        return;
    }
    stream->abort();
    stream->deleteLater();
}

void QtSocket::onStreamStateChanged(QAbstractSocket::SocketState qtState) {
    if (qtState == QAbstractSocket::HostLookupState)
        state_ = States::ResolvingHost;
    else if (qtState == QAbstractSocket::ConnectingState)
        state_ = States::Connecting;
}

void QtSocket::onStreamConnected() {
    state_ = States::Connected;
    remoteHostIP_ = stream_->peerAddress().toString();
    deliver([this] { emit connected(); });
}

void QtSocket::onStreamReadyRead() {
    deliver([this] {
        if (const qint64 bytes = bytesAvailable(); bytes > 0)
            emit dataArrival(bytes);
    });
}

// Bytes that SendData hands to the kernel within the call never were in the send queue: they
// are not reported. What the queue gives up later is, and then room has come back.
void QtSocket::onStreamBytesWritten(qint64 bytes) {
    if (inCall_)
        return;
    emit bytesSent(bytes);
    if (stream_ && stream_->bytesToWrite() == 0)
        emit sendComplete();
}

// The peer closing (or resetting) the connection is a close, not an error: it arrives as
// disconnected() right after this.
void QtSocket::onStreamError(QAbstractSocket::SocketError qtError) {
    if (qtError == QAbstractSocket::RemoteHostClosedError)
        return;
    state_ = States::Error;
    const auto failure = winsockFailure(qtError);
    deliver([this, failure] { emit error(failure.number, failure.description); });
}

void QtSocket::onStreamDisconnected() {
    if (state_ == States::Error || state_ == States::Closed)
        return;
    state_ = States::PeerClosing;
    deliver([this] { emit closed(); });
}

ComponentResult QtSocket::bindTcp(const QHostAddress& address, int port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return winsockFailureFromErrno(errno);
    // As servers usually do: a restart may bind while old connections sit in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(quint16(port));
    local.sin_addr.s_addr = htonl(address.toIPv4Address());
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return winsockFailureFromErrno(errno);
    socklen_t length = sizeof local;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) == 0)
        localPort_ = ntohs(local.sin_port);
    boundTcp_ = std::move(fd);
    boundAddress_ = address;
    return ComponentResult::success();
}

ComponentResult QtSocket::listenOnBound() {
    if (::listen(boundTcp_.get(), SOMAXCONN) != 0)
        return winsockFailureFromErrno(errno);
    auto* server = new QTcpServer(this);
    server->setProxy(QNetworkProxy::NoProxy);
    if (!server->setSocketDescriptor(boundTcp_.get())) {
        const auto failure = winsockFailure(server->serverError());
        delete server;
        return failure;
    }
    boundTcp_.release();
    server_ = server;
    connect(server, &QTcpServer::newConnection, this, &QtSocket::onNewConnections);
    return ComponentResult::success();
}

// Announces each new connection by request id. One that no element has accepted by the time
// the announcement returns is closed, so its peer sees a close instead of waiting forever.
void QtSocket::onNewConnections() {
    while (server_ && server_->hasPendingConnections()) {
        std::unique_ptr<QTcpSocket> connection(server_->nextPendingConnection());
        connection->setParent(nullptr);
        connection->setReadBufferSize(readLimit_);
        const int requestId = PendingConnections::add(std::move(connection));
        emit connectionRequest(requestId);
        if (auto unclaimed = PendingConnections::take(requestId))
            unclaimed->abort();
    }
}
