#include "platform/UdpEndpoint.h"

#include "platform/HostResolve.h"
#include "platform/WinsockErrors.h"
#include "platform/linux/InetSocket.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

// Datagrams read per wake-up, so that a flood (of empty ones, say) cannot hold the event loop.
constexpr int kReadsPerWake = 256;

bool kernelFull(int errnoValue) {
    return errnoValue == EAGAIN || errnoValue == EWOULDBLOCK || errnoValue == ENOBUFS;
}

} // namespace

UdpEndpoint::UdpEndpoint(UniqueFd bound, qint64 readLimit, QObject* parent)
    : SocketRole(parent)
    , fd_(std::move(bound))
    , reader_(makeReadNotifier(fd_.get()))
    , writer_(makeWriteNotifier(fd_.get()))
    , port_(localPortOf(fd_.get()))
    , readLimit_(readLimit)
    , buffer_(int(kMaxDatagramBytes) + 1, Qt::Uninitialized) {
    writer_->setEnabled(false);
    connect(reader_.get(), &QSocketNotifier::activated, this, &UdpEndpoint::receive);
    connect(writer_.get(), &QSocketNotifier::activated, this, &UdpEndpoint::flush);
}

void UdpEndpoint::setTarget(const QString& host, int port) {
    targetPort_ = port;
    if (host == targetHost_)
        return;
    targetHost_ = host;
    stopLookup();
    if (!keepsToTarget())
        dropWaitingForTarget();
    target_ = QHostAddress(host);
    if (target_.protocol() != QAbstractSocket::IPv4Protocol)
        target_.clear();
    if (keepsToTarget() && target_.isNull())
        resolveTarget();
    // What is held goes to the new target, from the event loop rather than inside this call.
    if (!outgoing_.empty())
        writer_->setEnabled(true);
}

ComponentResult UdpEndpoint::send(const QByteArray& data, qint64 sendLimit, qint64* taken) {
    ComponentResult result;
    for (qsizetype offset = 0; offset < data.size(); offset += kMaxDatagramBytes) {
        const QByteArray chunk = data.mid(offset, kMaxDatagramBytes);
        if (!outgoing_.empty() && outgoingBytes_ + chunk.size() > sendLimit)
            break; // the caller keeps the rest until room comes back
        if (auto sent = sendOne({chunk, {}, 0}); !sent)
            result = sent;
        *taken += chunk.size();
    }
    return result;
}

// Sends the datagram now when nothing waits before it, else holds it; what cannot be sent at
// all is dropped, counted, and reported as the failure.
ComponentResult UdpEndpoint::sendOne(Outgoing datagram) {
    if (!keepsToTarget()) {
        datagram.to = lastSender_;
        datagram.port = lastSenderPort_;
    }
    const bool nowhere = keepsToTarget() ? targetPort_ <= 0 : datagram.to.isNull();
    if (nowhere) {
        ++dropped_;
        return winsockFailure(WsaDestinationRequired);
    }
    if (!outgoing_.empty() || (datagram.to.isNull() && target_.isNull())) {
        hold(std::move(datagram));
        return ComponentResult::success();
    }
    const int failure = transmit(datagram);
    if (kernelFull(failure))
        hold(std::move(datagram));
    else if (failure != 0)
        ++dropped_;
    return failure == 0 || kernelFull(failure) ? ComponentResult::success()
                                               : winsockFailureFromErrno(failure);
}

// 0 when the kernel took the datagram, else the errno.
int UdpEndpoint::transmit(const Outgoing& datagram) {
    const bool toTarget = datagram.to.isNull();
    const sockaddr_in to =
        inetAddress(toTarget ? target_ : datagram.to, toTarget ? targetPort_ : datagram.port);
    const ssize_t sent =
        ::sendto(fd_.get(), datagram.data.constData(), size_t(datagram.data.size()), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent < 0 ? errno : 0;
}

void UdpEndpoint::hold(Outgoing datagram) {
    outgoingBytes_ += datagram.data.size();
    outgoing_.push_back(std::move(datagram));
    if (target_.isNull() && keepsToTarget())
        resolveTarget();
    else
        writer_->setEnabled(true);
}

// Sends what is held, in order, as far as the kernel takes it.
void UdpEndpoint::flush() {
    if (!fd_.valid())
        return;
    while (!outgoing_.empty()) {
        const Outgoing& next = outgoing_.front();
        if (next.to.isNull() && target_.isNull()) {
            writer_->setEnabled(false);
            resolveTarget();
            return;
        }
        const int failure = transmit(next);
        if (kernelFull(failure)) {
            writer_->setEnabled(true);
            return;
        }
        if (failure != 0)
            ++dropped_;
        const qint64 bytes = next.data.size();
        outgoing_.pop_front();
        outgoingBytes_ -= bytes;
        emit bytesSent(bytes);
        if (!fd_.valid())
            return; // closed by a handler
    }
    writer_->setEnabled(false);
    emit sendComplete();
}

bool UdpEndpoint::queueFull() const {
    return receivedBytes_ >= readLimit_ || qsizetype(received_.size()) >= kMaxQueuedDatagrams;
}

void UdpEndpoint::receive() {
    for (int i = 0; i < kReadsPerWake && fd_.valid() && !queueFull(); ++i) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size = ::recvfrom(fd_.get(), buffer_.data(), size_t(buffer_.size()), 0,
                                        reinterpret_cast<sockaddr*>(&from), &length);
        if (size < 0)
            break;
        if (size == 0)
            continue; // an empty datagram: nothing to deliver
        const QHostAddress sender = hostOf(from);
        if (keepsToTarget() && sender != target_) {
            ++dropped_;
            continue;
        }
        lastSender_ = sender;
        lastSenderPort_ = ntohs(from.sin_port);
        received_.emplace_back(buffer_.constData(), qsizetype(size));
        receivedBytes_ += size;
        emit dataArrival(size);
    }
    if (reader_)
        reader_->setEnabled(!queueFull());
}

QByteArray UdpEndpoint::read(qint64) {
    if (received_.empty())
        return {};
    QByteArray datagram = std::move(received_.front());
    received_.pop_front();
    receivedBytes_ -= datagram.size();
    // Reading resumes from the event loop once a full queue has room again.
    if (reader_)
        reader_->setEnabled(!queueFull());
    return datagram;
}

void UdpEndpoint::close(std::chrono::milliseconds) {
    stopLookup();
    reader_.reset();
    writer_.reset();
    fd_.reset();
    received_.clear();
    receivedBytes_ = 0;
    outgoing_.clear();
    outgoingBytes_ = 0;
}

void UdpEndpoint::resolveTarget() {
    if (resolving_ || !keepsToTarget())
        return;
    resolving_ = true;
    ResolveHostAddress(targetHost_, this, [this, lookup = ++lookups_](const QString& address) {
        if (lookup == lookups_)
            onTargetResolved(address);
    });
}

// Datagrams held for the name go out now; when it does not resolve they are dropped (a send
// to an unknown host is not an error that ends the socket) and the next send tries again.
void UdpEndpoint::onTargetResolved(const QString& address) {
    resolving_ = false;
    if (!fd_.valid())
        return;
    target_ = QHostAddress(address);
    if (target_.isNull())
        dropWaitingForTarget();
    flush();
}

void UdpEndpoint::dropWaitingForTarget() {
    const qint64 heldBefore = outgoingBytes_;
    std::erase_if(outgoing_, [this](const Outgoing& datagram) {
        if (!datagram.to.isNull())
            return false;
        ++dropped_;
        outgoingBytes_ -= datagram.data.size();
        return true;
    });
    if (outgoingBytes_ < heldBefore)
        emit bytesSent(heldBefore - outgoingBytes_);
}

// An answer still on its way is ignored.
void UdpEndpoint::stopLookup() {
    resolving_ = false;
    ++lookups_;
}
