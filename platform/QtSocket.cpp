#include "platform/QtSocket.h"

#include "platform/LocalAddresses.h"
#include "platform/PendingConnections.h"
#include "platform/WinsockErrors.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

bool validPort(int port) {
    return port >= 0 && port <= 65535;
}

// Marks the span of a public call, so that events it causes wait until it has returned.
class CallScope {
public:
    explicit CallScope(bool& flag)
        : flag_(flag)
        , old_(flag) {
        flag_ = true;
    }
    ~CallScope() { flag_ = old_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    bool& flag_;
    bool old_;
};

} // namespace

QtSocket::QtSocket(QObject* parent)
    : Socket(parent) {}

QtSocket::~QtSocket() {
    ++generation_;
    releaseAll();
}

ComponentResult QtSocket::setRemotePort(int port) {
    if (!validPort(port))
        return winsockFailure(WsaInvalidPropertyValue);
    remotePort_ = port;
    return ComponentResult::success();
}

int QtSocket::LocalPort() const {
    if (server_)
        return server_->serverPort();
    if (stream_ && stream_->state() == QAbstractSocket::ConnectedState)
        return stream_->localPort();
    return localPort_;
}

ComponentResult QtSocket::setLocalPort(int port) {
    if (!validPort(port))
        return winsockFailure(WsaInvalidPropertyValue);
    if (!isClosed())
        return winsockFailure(WsaInvalidOperation);
    localPort_ = port;
    return ComponentResult::success();
}

ComponentResult QtSocket::setProtocol(int protocol) {
    if (protocol != static_cast<int>(Protocols::Tcp) &&
        protocol != static_cast<int>(Protocols::Udp))
        return winsockFailure(WsaInvalidPropertyValue);
    if (!isClosed())
        return winsockFailure(WsaInvalidOperation);
    protocol_ = static_cast<Protocols>(protocol);
    return ComponentResult::success();
}

ComponentResult QtSocket::setRemoteHost(const QString& host) {
    remoteHost_ = host.trimmed();
    retargetUdp();
    return ComponentResult::success();
}

QString QtSocket::LocalIP() const {
    return localIPv4Addresses().value(0);
}

ComponentResult QtSocket::Connect() {
    if (!isTcp())
        return winsockFailure(WsaWrongState);
    if (!isClosed() && !(state_ == States::Open && boundTcp_.valid()))
        return winsockFailure(WsaInvalidOperation);
    if (remoteHost_.isEmpty())
        return winsockFailure(WsaInvalidArgument);
    if (remotePort_ <= 0)
        return winsockFailure(WsaAddressNotAvailable);
    CallScope scope(inCall_);
    auto* stream = new QTcpSocket(this);
    stream->setProxy(QNetworkProxy::NoProxy);
    if (boundTcp_.valid()) {
        boundTcp_.reset();
        if (!stream->bind(boundAddress_, localPort_, QAbstractSocket::ReuseAddressHint)) {
            const auto failure = winsockFailure(stream->error());
            delete stream;
            state_ = States::Closed;
            return failure;
        }
    }
    adoptStream(stream);
    const bool literal = QHostAddress(remoteHost_).protocol() == QAbstractSocket::IPv4Protocol;
    state_ = literal ? States::Connecting : States::ResolvingHost;
    stream->connectToHost(remoteHost_, quint16(remotePort_), QIODevice::ReadWrite,
                          QAbstractSocket::IPv4Protocol);
    return ComponentResult::success();
}

ComponentResult QtSocket::Listen() {
    if (!isTcp())
        return winsockFailure(WsaWrongState);
    const bool bound = state_ == States::Open && boundTcp_.valid();
    if (!isClosed() && !bound)
        return winsockFailure(WsaInvalidOperation);
    CallScope scope(inCall_);
    if (!bound) {
        if (auto result = bindTcp(QHostAddress(QHostAddress::AnyIPv4), localPort_); !result)
            return result;
    }
    auto result = listenOnBound();
    state_ = result ? States::Listening : States::Closed;
    if (!result)
        boundTcp_.reset();
    return result;
}

ComponentResult QtSocket::Accept(int requestId) {
    if (!isTcp())
        return winsockFailure(WsaWrongState);
    if (!isClosed())
        return winsockFailure(WsaInvalidOperation);
    auto connection = PendingConnections::take(requestId);
    if (!connection)
        return winsockFailure(WsaNotSocket);
    CallScope scope(inCall_);
    QTcpSocket* stream = connection.release();
    stream->setParent(this);
    adoptStream(stream);
    remoteHostIP_ = stream->peerAddress().toString();
    remotePort_ = stream->peerPort();
    localPort_ = stream->localPort();
    state_ = States::Connected;
    if (stream->state() != QAbstractSocket::ConnectedState)
        onStreamDisconnected();
    else if (stream->bytesAvailable() > 0)
        onStreamReadyRead();
    return ComponentResult::success();
}

ComponentResult QtSocket::SendData(const QByteArray& data, qint64* taken) {
    CallScope scope(inCall_);
    if (taken)
        *taken = 0;
    if (!isTcp()) {
        if (state_ != States::Closed && state_ != States::Open)
            return winsockFailure(WsaWrongState);
        auto result = data.isEmpty() ? ComponentResult::success() : sendDatagrams(data);
        if (result && taken)
            *taken = data.size();
        return result;
    }
    if (state_ != States::Connected || !stream_)
        return winsockFailure(WsaWrongState);
    const qint64 size = std::min<qint64>(data.size(), sendRoom());
    if (size > 0 && stream_->write(data.constData(), size) != size)
        return winsockFailure(stream_->error());
    // Hand the bytes to the kernel now (without blocking), so that the send queue holds only
    // what the connection really cannot take yet.
    if (size > 0)
        stream_->flush();
    if (taken)
        *taken = size;
    return ComponentResult::success();
}

QByteArray QtSocket::GetData(qint64 maxBytes) {
    CallScope scope(inCall_);
    if (!stream_)
        return takeDatagram();
    QByteArray data = stream_->read(std::clamp<qint64>(maxBytes, 0, stream_->bytesAvailable()));
    // A read that empties Qt's buffer lets it read from the kernel again: Qt switches its read
    // notifier back on only when a read reaches past its buffer.
    if (stream_->bytesAvailable() == 0)
        data += stream_->read(1);
    return data;
}

ComponentResult QtSocket::Close() {
    ++generation_;
    releaseAll();
    state_ = States::Closed;
    return ComponentResult::success();
}

ComponentResult QtSocket::Bind(int localPort, const QString& localAddress) {
    if (!isClosed())
        return winsockFailure(WsaInvalidOperation);
    if (!validPort(localPort))
        return winsockFailure(WsaInvalidPropertyValue);
    QHostAddress address(QHostAddress::AnyIPv4);
    const QString text = localAddress.trimmed();
    if (!text.isEmpty() &&
        (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol))
        return winsockFailure(WsaAddressNotAvailable);
    CallScope scope(inCall_);
    auto result = isTcp() ? bindTcp(address, localPort) : bindUdp(address, localPort);
    if (result)
        state_ = States::Open;
    return result;
}

qint64 QtSocket::bytesToSend() const {
    if (stream_)
        return stream_->bytesToWrite();
    return unresolvedBytes_;
}

qint64 QtSocket::sendRoom() const {
    return std::max<qint64>(sendLimit_ - bytesToSend(), 0);
}

qint64 QtSocket::bytesAvailable() const {
    if (stream_)
        return stream_->bytesAvailable();
    return datagramBytes_;
}

void QtSocket::setReadBufferLimit(qint64 bytes) {
    readLimit_ = std::max<qint64>(bytes, 1);
    if (stream_)
        stream_->setReadBufferSize(readLimit_);
}

void QtSocket::deliver(std::function<void()> event) {
    if (!inCall_) {
        event();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_, event = std::move(event)] {
            if (generation == generation_)
                event();
        },
        Qt::QueuedConnection);
}

void QtSocket::releaseAll() {
    releaseStream();
    if (server_) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    boundTcp_.reset();
    releaseUdp();
}
