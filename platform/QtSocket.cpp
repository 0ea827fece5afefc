#include "platform/QtSocket.h"

#include "platform/LocalAddresses.h"
#include "platform/PendingConnections.h"
#include "platform/TcpListener.h"
#include "platform/TcpStream.h"
#include "platform/UdpEndpoint.h"
#include "platform/WinsockErrors.h"
#include "platform/linux/InetSocket.h"

#include <QMetaObject>
#include <QTcpSocket>
#include <sys/socket.h>

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
    releaseRole();
}

ComponentResult QtSocket::setRemotePort(int port) {
    if (!validPort(port))
        return winsockFailure(WsaInvalidPropertyValue);
    remotePort_ = port;
    retargetUdp();
    return ComponentResult::success();
}

int QtSocket::LocalPort() const {
    const int bound = role_ ? role_->localPort() : 0;
    return bound > 0 ? bound : localPort_;
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

int QtSocket::State() const {
    if (role_)
        return static_cast<int>(role_->state());
    return static_cast<int>(boundTcp_.valid() ? States::Open : States::Closed);
}

ComponentResult QtSocket::Connect() {
    if (!isTcp())
        return winsockFailure(WsaWrongState);
    if (role_)
        return winsockFailure(WsaInvalidOperation);
    if (remoteHost_.isEmpty())
        return winsockFailure(WsaInvalidArgument);
    if (remotePort_ <= 0)
        return winsockFailure(WsaAddressNotAvailable);
    CallScope scope(inCall_);
    auto* stream = new TcpStream(readLimit_, this);
    if (boundTcp_.valid()) {
        // The bound descriptor only reserved the address; the connection binds it again.
        boundTcp_.reset();
        if (auto bound = stream->bind(boundAddress_, localPort_); !bound) {
            delete stream;
            return bound;
        }
    }
    adopt(stream);
    stream->connectToHost(remoteHost_, remotePort_);
    return ComponentResult::success();
}

ComponentResult QtSocket::Listen() {
    if (!isTcp())
        return winsockFailure(WsaWrongState);
    if (role_)
        return winsockFailure(WsaInvalidOperation);
    CallScope scope(inCall_);
    if (!boundTcp_.valid()) {
        if (auto result = Bind(localPort_); !result)
            return result;
    }
    ComponentResult result;
    if (auto* listener = TcpListener::listen(std::move(boundTcp_), readLimit_, this, result))
        adopt(listener);
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
    auto* stream = new TcpStream(std::move(connection), readLimit_, this);
    adopt(stream);
    remoteHostIP_ = stream->peerAddress().toString();
    remotePort_ = stream->peerPort();
    localPort_ = stream->localPort();
    if (stream->state() == States::PeerClosing)
        deliver([this] { emit closed(); });
    else if (stream->bytesAvailable() > 0)
        deliver([this] { emit dataArrival(bytesAvailable()); });
    return ComponentResult::success();
}

ComponentResult QtSocket::SendData(const QByteArray& data, qint64* taken) {
    CallScope scope(inCall_);
    qint64 ignored = 0;
    qint64& count = taken ? *taken : ignored;
    count = 0;
    if (!isTcp() && !role_) {
        if (data.isEmpty())
            return ComponentResult::success();
        // A UDP element sends without a Bind() first, from any free port.
        if (auto result = openUdp(QHostAddress(QHostAddress::AnyIPv4), localPort_); !result)
            return result;
    }
    if (!role_)
        return winsockFailure(WsaWrongState);
    return role_->send(data, sendLimit_, &count);
}

QByteArray QtSocket::GetData(qint64 maxBytes) {
    CallScope scope(inCall_);
    return role_ ? role_->read(maxBytes) : QByteArray();
}

ComponentResult QtSocket::Close() {
    ++generation_;
    releaseRole();
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
    if (!isTcp())
        return openUdp(address, localPort);
    ComponentResult result;
    boundTcp_ = bindInetSocket(SOCK_STREAM, address, localPort, result);
    if (result) {
        boundAddress_ = address;
        localPort_ = localPortOf(boundTcp_.get());
    }
    return result;
}

qint64 QtSocket::bytesToSend() const {
    return role_ ? role_->bytesToSend() : 0;
}

qint64 QtSocket::sendRoom() const {
    return std::max<qint64>(sendLimit_ - bytesToSend(), 0);
}

qint64 QtSocket::bytesAvailable() const {
    return role_ ? role_->bytesAvailable() : 0;
}

bool QtSocket::peerHasLeft() const {
    return role_ && role_->peerHasLeft();
}

qint64 QtSocket::droppedDatagrams() const {
    const auto* udp = qobject_cast<const UdpEndpoint*>(role_);
    return udp ? udp->droppedDatagrams() : 0;
}

void QtSocket::setReadBufferLimit(qint64 bytes) {
    readLimit_ = std::max<qint64>(bytes, 1);
    if (role_)
        role_->setReadLimit(readLimit_);
}

void QtSocket::retryAccept() {
    if (auto* listener = qobject_cast<TcpListener*>(role_))
        listener->retryAccept();
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

// The role's events become the element's. What SendData hands on within the call never was
// in the send queue, so bytesSent and sendComplete raised inside a call are not passed on.
void QtSocket::adopt(SocketRole* role) {
    role_ = role;
    connect(role, &SocketRole::connected, this, [this] {
        remoteHostIP_ = role_->peerAddress().toString();
        deliver([this] { emit connected(); });
    });
    connect(role, &SocketRole::dataArrival, this, &QtSocket::onDataArrival);
    connect(role, &SocketRole::error, this, [this](int number, const QString& description) {
        deliver([this, number, description] { emit error(number, description); });
    });
    connect(role, &SocketRole::closed, this, [this] { deliver([this] { emit closed(); }); });
    connect(role, &SocketRole::connectionRequest, this, &Socket::connectionRequest);
    connect(role, &SocketRole::bytesSent, this, [this](qint64 bytes) {
        if (!inCall_)
            emit bytesSent(bytes);
    });
    connect(role, &SocketRole::sendComplete, this, [this] {
        if (!inCall_)
            emit sendComplete();
    });
}

void QtSocket::releaseRole() {
    boundTcp_.reset();
    if (!role_)
        return;
    SocketRole* role = std::exchange(role_, nullptr);
    role->disconnect(this);
    role->close(lingerLimit_);
    role->deleteLater();
}

ComponentResult QtSocket::openUdp(const QHostAddress& address, int port) {
    ComponentResult result;
    UniqueFd fd = bindInetSocket(SOCK_DGRAM, address, port, result);
    if (!result)
        return result;
    auto* udp = new UdpEndpoint(std::move(fd), readLimit_, this);
    adopt(udp);
    localPort_ = udp->localPort();
    retargetUdp();
    return result;
}

void QtSocket::retargetUdp() {
    if (auto* udp = qobject_cast<UdpEndpoint*>(role_))
        udp->setTarget(remoteHost_, remotePort_);
}

// Data on a stream, or a datagram: a datagram makes its sender the remote the element
// reports (a UDP client keeps the RemotePort it sends to).
void QtSocket::onDataArrival(qint64 bytes) {
    if (auto* udp = qobject_cast<UdpEndpoint*>(role_)) {
        remoteHostIP_ = udp->peerAddress().toString();
        if (!udp->keepsToTarget())
            remotePort_ = udp->peerPort();
    }
    deliver([this, bytes] { emit dataArrival(bytes); });
}
