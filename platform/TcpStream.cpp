#include "platform/TcpStream.h"

#include "platform/StreamCloser.h"
#include "platform/WinsockErrors.h"
#include "platform/linux/TcpKeepAlive.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <cerrno>
#include <sys/socket.h>

TcpStream::TcpStream(qint64 readLimit, QObject* parent)
    : TcpStream(std::make_unique<QTcpSocket>(), Socket::States::Closed, readLimit, parent) {}

TcpStream::TcpStream(std::unique_ptr<QTcpSocket> accepted, qint64 readLimit, QObject* parent)
    : TcpStream(std::move(accepted), Socket::States::Connected, readLimit, parent) {
    if (socket_->state() != QAbstractSocket::ConnectedState)
        state_ = Socket::States::PeerClosing;
}

TcpStream::TcpStream(std::unique_ptr<QTcpSocket> socket, Socket::States state, qint64 readLimit,
                     QObject* parent)
    : SocketRole(parent)
    , socket_(std::move(socket))
    , state_(state) {
    socket_->setParent(nullptr);
    socket_->setProxy(QNetworkProxy::NoProxy);
    socket_->setReadBufferSize(readLimit);
    if (state_ == Socket::States::Connected)
        TcpKeepAlive::apply(int(socket_->socketDescriptor()));
    QTcpSocket* s = socket_.get();
    connect(s, &QAbstractSocket::stateChanged, this, &TcpStream::onStateChanged);
    connect(s, &QAbstractSocket::connected, this, &TcpStream::onConnected);
    connect(s, &QIODevice::readyRead, this, [this] {
        if (bytesAvailable() > 0)
            emit dataArrival(bytesAvailable());
    });
    connect(s, &QIODevice::bytesWritten, this, &TcpStream::onBytesWritten);
    connect(s, &QAbstractSocket::errorOccurred, this, &TcpStream::onError);
    connect(s, &QAbstractSocket::disconnected, this, &TcpStream::onDisconnected);
}

TcpStream::~TcpStream() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_.release()->deleteLater();
    }
}

ComponentResult TcpStream::bind(const QHostAddress& address, int port) {
    if (!socket_->bind(address, quint16(port), QAbstractSocket::ReuseAddressHint))
        return winsockFailure(socket_->error());
    return ComponentResult::success();
}

void TcpStream::connectToHost(const QString& host, int port) {
    const bool literal = QHostAddress(host).protocol() == QAbstractSocket::IPv4Protocol;
    state_ = literal ? Socket::States::Connecting : Socket::States::ResolvingHost;
    socket_->connectToHost(host, quint16(port), QIODevice::ReadWrite,
                           QAbstractSocket::IPv4Protocol);
}

int TcpStream::localPort() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState ? socket_->localPort()
                                                                          : 0;
}

QHostAddress TcpStream::peerAddress() const {
    return socket_ ? socket_->peerAddress() : QHostAddress();
}

int TcpStream::peerPort() const {
    return socket_ ? socket_->peerPort() : 0;
}

ComponentResult TcpStream::send(const QByteArray& data, qint64 sendLimit, qint64* taken) {
    if (state_ != Socket::States::Connected)
        return winsockFailure(WsaWrongState);
    const qint64 size =
        std::min<qint64>(data.size(), std::max<qint64>(sendLimit - bytesToSend(), 0));
    if (size > 0 && socket_->write(data.constData(), size) != size)
        return winsockFailure(socket_->error());
    // Hand the bytes to the kernel now (without blocking), so that the send queue holds only
    // what the connection really cannot take yet.
    if (size > 0)
        socket_->flush();
    *taken = size;
    return ComponentResult::success();
}

QByteArray TcpStream::read(qint64 maxBytes) {
    if (!socket_)
        return {};
    QByteArray data = socket_->read(std::clamp<qint64>(maxBytes, 0, socket_->bytesAvailable()));
    // A read that empties Qt's buffer lets it read from the kernel again: Qt switches its read
    // notifier back on only when a read reaches past its buffer.
    if (socket_->bytesAvailable() == 0)
        data += socket_->read(1);
    return data;
}

qint64 TcpStream::bytesToSend() const {
    return socket_ ? socket_->bytesToWrite() : 0;
}

qint64 TcpStream::bytesAvailable() const {
    return socket_ ? socket_->bytesAvailable() : 0;
}

bool TcpStream::peerHasLeft() const {
    if (!socket_ || socket_->bytesAvailable() > 0)
        return false;
    const auto fd = int(socket_->socketDescriptor());
    if (fd < 0)
        return false;
    char byte = 0;
    const ssize_t peeked = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void TcpStream::setReadLimit(qint64 bytes) {
    if (socket_)
        socket_->setReadBufferSize(bytes);
}

void TcpStream::close(std::chrono::milliseconds lingerLimit) {
    if (!socket_)
        return;
    socket_->disconnect(this);
    StreamCloser::close(std::move(socket_), lingerLimit);
    state_ = Socket::States::Closed;
}

void TcpStream::onStateChanged(QAbstractSocket::SocketState qtState) {
    if (qtState == QAbstractSocket::HostLookupState)
        state_ = Socket::States::ResolvingHost;
    else if (qtState == QAbstractSocket::ConnectingState)
        state_ = Socket::States::Connecting;
}

void TcpStream::onConnected() {
    state_ = Socket::States::Connected;
    TcpKeepAlive::apply(int(socket_->socketDescriptor()));
    emit connected();
}

void TcpStream::onBytesWritten(qint64 bytes) {
    emit bytesSent(bytes);
    if (bytesToSend() == 0)
        emit sendComplete();
}

// The peer closing (or resetting) the connection is a close, not an error: it arrives as
// disconnected() right after this.
void TcpStream::onError(QAbstractSocket::SocketError qtError) {
    if (qtError == QAbstractSocket::RemoteHostClosedError)
        return;
    state_ = Socket::States::Error;
    const auto failure = winsockFailure(qtError);
    emit error(failure.number, failure.description);
}

void TcpStream::onDisconnected() {
    if (state_ == Socket::States::Error)
        return;
    state_ = Socket::States::PeerClosing;
    emit closed();
}
