// The UDP side of the socket element. Each received datagram is one dataArrival and makes its
// sender the element's remote address, so sends answer the peer that spoke last; before any
// datagram has arrived, sends go to RemoteHost:RemotePort. With nowhere to send, a send is
// dropped and reported as a failure.
#include "platform/QtSocket.h"
#include "platform/WinsockErrors.h"

#include <QHostInfo>
#include <QMetaObject>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

namespace {

// Received datagrams an element holds at most, however small they are.
constexpr qsizetype kMaxQueuedDatagrams = 1024;

} // namespace

ComponentResult QtSocket::bindUdp(const QHostAddress& address, int port) {
    auto* udp = new QUdpSocket(this);
    udp->setProxy(QNetworkProxy::NoProxy);
    if (!udp->bind(address, quint16(port), QAbstractSocket::DontShareAddress)) {
        const auto failure = winsockFailure(udp->error());
        delete udp;
        return failure;
    }
    udp_ = udp;
    localPort_ = udp->localPort();
    // Errors of an unconnected datagram socket concern single datagrams; they never end it.
    connect(udp, &QIODevice::readyRead, this, &QtSocket::readDatagrams);
    return ComponentResult::success();
}

bool QtSocket::datagramQueueFull() const {
    return datagramBytes_ >= readLimit_ || datagrams_.size() >= kMaxQueuedDatagrams;
}

void QtSocket::readDatagrams() {
    while (udp_ && !datagramQueueFull() && udp_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp_->receiveDatagram();
        if (!datagram.isValid())
            break;
        remoteHostIP_ = datagram.senderAddress().toString();
        remotePort_ = datagram.senderPort();
        targetIsSender_ = true;
        datagrams_.append(datagram.data());
        datagramBytes_ += datagram.data().size();
        emit dataArrival(datagram.data().size());
    }
}

// The oldest datagram; reading resumes once a full queue has room again.
QByteArray QtSocket::takeDatagram() {
    if (datagrams_.isEmpty())
        return {};
    const bool wasFull = datagramQueueFull();
    QByteArray datagram = datagrams_.takeFirst();
    datagramBytes_ -= datagram.size();
    if (wasFull && udp_) {
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation == generation_)
                    readDatagrams();
            },
            Qt::QueuedConnection);
    }
    return datagram;
}

ComponentResult QtSocket::sendDatagrams(const QByteArray& data) {
    if (targetIsSender_)
        return writeDatagrams(data, QHostAddress(remoteHostIP_), remotePort_);
    if (remoteHost_.isEmpty() || remotePort_ <= 0)
        return winsockFailure(WsaDestinationRequired);
    if (const QHostAddress literal(remoteHost_);
        literal.protocol() == QAbstractSocket::IPv4Protocol)
        return writeDatagrams(data, literal, remotePort_);
    if (!udpTarget_.isNull())
        return writeDatagrams(data, udpTarget_, remotePort_);
    // A host name: hold the datagram until the name is resolved, within the same bound as
    // received data.
    if (unresolvedBytes_ + data.size() > readLimit_)
        return winsockFailure(WsaNoBufferSpace);
    unresolved_.append(data);
    unresolvedBytes_ += data.size();
    resolveUdpTarget();
    return ComponentResult::success();
}

ComponentResult QtSocket::writeDatagrams(const QByteArray& data, const QHostAddress& to, int port) {
    if (to.isNull() || port <= 0)
        return winsockFailure(WsaDestinationRequired);
    if (!udp_) {
        if (auto result = bindUdp(QHostAddress(QHostAddress::AnyIPv4), localPort_); !result)
            return result;
        state_ = States::Open;
    }
    for (qsizetype offset = 0; offset < data.size(); offset += kMaxDatagramBytes) {
        const QByteArray chunk = data.mid(offset, kMaxDatagramBytes);
        if (udp_->writeDatagram(chunk, to, quint16(port)) != chunk.size())
            return winsockFailure(udp_->error());
    }
    return ComponentResult::success();
}

// RemoteHost changed: datagrams go to it from now on, not to the last sender.
void QtSocket::retargetUdp() {
    targetIsSender_ = false;
    udpTarget_.clear();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (!unresolved_.isEmpty())
        resolveUdpTarget();
}

void QtSocket::resolveUdpTarget() {
    if (lookupId_ >= 0 || remoteHost_.isEmpty())
        return;
    lookupId_ = QHostInfo::lookupHost(remoteHost_, this, &QtSocket::onUdpTargetResolved);
}

// Sends held for the name go out now; when the name does not resolve they are dropped (a send
// to an unknown host is not an error that ends the socket) and the next send tries again.
void QtSocket::onUdpTargetResolved(const QHostInfo& info) {
    if (info.lookupId() != lookupId_)
        return;
    lookupId_ = -1;
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            udpTarget_ = address;
            break;
        }
    }
    const QList<QByteArray> held = std::exchange(unresolved_, {});
    unresolvedBytes_ = 0;
    if (udpTarget_.isNull())
        return;
    for (const QByteArray& data : held)
        sendDatagrams(data);
}

void QtSocket::releaseUdp() {
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    unresolved_.clear();
    unresolvedBytes_ = 0;
    datagrams_.clear();
    datagramBytes_ = 0;
    targetIsSender_ = false;
    udpTarget_.clear();
    if (udp_) {
        udp_->disconnect(this);
        udp_->close();
        udp_->deleteLater();
        udp_ = nullptr;
    }
}
