#include "platform/TcpListener.h"

#include "platform/PendingConnections.h"
#include "platform/WinsockErrors.h"
#include "platform/linux/InetSocket.h"

#include <QTcpSocket>
#include <cerrno>
#include <sys/socket.h>

namespace {

// Connections taken per wake-up, so that a flood of them does not starve the other sessions.
constexpr int kAcceptsPerWake = 64;

// Errors of one connection that went away while it waited (the kernel reports them through
// accept): the next connection may well be fine.
bool concernsOneConnection(int errnoValue) {
    switch (errnoValue) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case EPERM: // refused by a firewall rule
        return true;
    default:
        return false;
    }
}

} // namespace

TcpListener* TcpListener::listen(UniqueFd bound, qint64 readLimit, QObject* parent,
                                 ComponentResult& failure) {
    if (::listen(bound.get(), SOMAXCONN) != 0) {
        failure = winsockFailureFromErrno(errno);
        return nullptr;
    }
    failure = ComponentResult::success();
    return new TcpListener(std::move(bound), readLimit, parent);
}

TcpListener::TcpListener(UniqueFd listening, qint64 readLimit, QObject* parent)
    : SocketRole(parent)
    , fd_(std::move(listening))
    , notifier_(makeReadNotifier(fd_.get()))
    , port_(localPortOf(fd_.get()))
    , readLimit_(readLimit) {
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TcpListener::acceptWaiting);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &TcpListener::retryAccept);
}

void TcpListener::close(std::chrono::milliseconds) {
    retryTimer_.stop();
    notifier_.reset();
    fd_.reset();
}

void TcpListener::retryAccept() {
    if (!notifier_)
        return;
    retryTimer_.stop();
    notifier_->setEnabled(true);
    acceptWaiting();
}

void TcpListener::acceptWaiting() {
    for (int i = 0; i < kAcceptsPerWake && fd_.valid(); ++i) {
        const int fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            delay_ = kFirstRetry;
            reported_ = false;
            announce(fd);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else if (!concernsOneConnection(errno)) {
            pause(errno);
            return;
        }
    }
}

// Announces the connection by request id; it is closed unless a handler accepted it.
void TcpListener::announce(int fd) {
    auto connection = std::make_unique<QTcpSocket>();
    if (!connection->setSocketDescriptor(fd)) {
        ::close(fd);
        return;
    }
    connection->setReadBufferSize(readLimit_);
    const int requestId = PendingConnections::add(std::move(connection));
    emit connectionRequest(requestId);
    if (auto unclaimed = PendingConnections::take(requestId))
        unclaimed->abort();
}

void TcpListener::pause(int errnoValue) {
    notifier_->setEnabled(false);
    retryTimer_.start(delay_);
    delay_ = std::min(delay_ * 2, kLastRetry);
    if (std::exchange(reported_, true))
        return;
    const bool noDescriptors = errnoValue == EMFILE || errnoValue == ENFILE;
    const QString cause = winsockFailureFromErrno(errnoValue).description;
    emit error(noDescriptors ? WsaTooManyFiles : WsaOutOfMemory,
               QStringLiteral("%1: new connections wait until resources are free").arg(cause));
}
