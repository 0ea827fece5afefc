#include "net/EchoService.h"

#include "net/EchoPacket.h"
#include "net/EchoStatus.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

namespace {

// A reply is ours only when it carries back the data we sent to the address we sent it to.
bool answers(const EchoSocket::Incoming& incoming, quint32 address, const QByteArray& data) {
    if (incoming.message.status != EchoStatus::Success)
        return true; // an error report may come from any router on the way
    return incoming.source == address && incoming.message.data == data;
}

} // namespace

EchoService::EchoService(Opener opener, QObject* parent)
    : QObject(parent)
    , opener_(std::move(opener))
    , identifier_(static_cast<quint16>(QRandomGenerator::global()->bounded(1, 0x10000))) {}

EchoService::~EchoService() = default;

EchoService& EchoService::instance() {
    // Owned by the application, so that its notifier goes before the event loop does.
    static QPointer<EchoService> service;
    if (service.isNull())
        service = new EchoService([] { return EchoSocket::open(); }, QCoreApplication::instance());
    return *service;
}

void EchoService::deliverLater(QObject* context, EchoDone done, const EchoReply& reply) {
    QObject* receiver = context != nullptr ? context : &instance();
    QMetaObject::invokeMethod(
        receiver, [done = std::move(done), reply] { done(reply); }, Qt::QueuedConnection);
}

bool EchoService::available() {
    return ensureSocket();
}

std::optional<EchoSocket::Kind> EchoService::socketKind() const {
    if (!socket_)
        return std::nullopt;
    return socket_->kind();
}

bool EchoService::ensureSocket() {
    if (socket_)
        return true;
    socket_ = opener_();
    if (!socket_)
        return false;
    notifier_ = std::make_unique<QSocketNotifier>(socket_->fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &EchoService::readIncoming);
    return true;
}

std::optional<quint16> EchoService::freeSequence() {
    for (int tries = 0; tries < 0x10000; ++tries) {
        const quint16 sequence = nextSequence_++;
        if (!pending_.contains(sequence))
            return sequence;
    }
    return std::nullopt;
}

void EchoService::send(quint32 address, const QByteArray& data, std::chrono::milliseconds timeout,
                       QObject* context, EchoDone done) {
    EchoReply failure;
    if (!ensureSocket()) {
        failure.status = EchoStatus::GeneralFailure;
        failure.echoUnavailable = true;
        deliverLater(context, std::move(done), failure);
        return;
    }
    const auto sequence = freeSequence();
    if (!sequence) {
        failure.status = EchoStatus::NoResources;
        deliverLater(context, std::move(done), failure);
        return;
    }
    if (const int error = socket_->send(address, identifier_, *sequence, data); error != 0) {
        failure.status = statusOfSendError(error);
        deliverLater(context, std::move(done), failure);
        return;
    }
    Pending& request = pending_[*sequence];
    request.address = address;
    request.data = data;
    request.clock.start();
    request.context = context;
    request.hasContext = context != nullptr;
    request.done = std::move(done);
    request.timer = std::make_unique<QTimer>();
    request.timer->setSingleShot(true);
    request.timer->setTimerType(Qt::PreciseTimer); // a time-out never ends early
    connect(request.timer.get(), &QTimer::timeout, this, [this, seq = *sequence] {
        EchoReply timedOut;
        timedOut.status = EchoStatus::RequestTimedOut;
        finish(seq, timedOut);
    });
    request.timer->start(timeout);
}

void EchoService::readIncoming() {
    if (!socket_)
        return;
    for (const EchoSocket::Incoming& incoming : socket_->receiveAll())
        handle(incoming);
}

void EchoService::handle(const EchoSocket::Incoming& incoming) {
    // The kernel hands a datagram socket only its own replies (it sets the identifier); a raw
    // socket sees everyone's.
    if (socket_->kind() == EchoSocket::Kind::Raw && incoming.message.identifier != identifier_)
        return;
    const auto it = pending_.find(incoming.message.sequence);
    if (it == pending_.end() || !answers(incoming, it->second.address, it->second.data))
        return;
    EchoReply reply;
    reply.status = incoming.message.status;
    reply.address = incoming.source;
    reply.roundTripTime = static_cast<quint32>(it->second.clock.elapsed());
    reply.dataSize = static_cast<quint16>(incoming.message.data.size());
    reply.data = incoming.message.data.left(EchoReply::kDataCapacity);
    finish(incoming.message.sequence, reply);
}

void EchoService::finish(quint16 sequence, const EchoReply& reply) {
    const auto it = pending_.find(sequence);
    if (it == pending_.end())
        return;
    Pending request = std::move(it->second);
    pending_.erase(it);
    // The timer may be the one whose signal runs now: stop it and let it go later.
    request.timer->stop();
    request.timer->disconnect(this);
    request.timer.release()->deleteLater();
    if (request.hasContext && request.context.isNull())
        return;
    request.done(reply);
}
