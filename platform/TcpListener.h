#pragma once
// A socket element listening for TCP connections. Each connection the kernel has completed is
// taken, held under a request id (PendingConnections) and announced; one that nobody accepts
// while the announcement runs is closed, so its peer sees a close instead of waiting.
//
// When taking a connection fails for want of resources (no descriptors left, no memory), the
// connection stays queued in the kernel. The listener then reports the failure once (with a
// number below 10000: it is not broken, and is not to be closed for it), stops
// watching the socket (it would report the same waiting connection again at once, without
// end) and tries again after a delay that doubles up to a bound; the first connection taken
// ends the episode. It never stops listening by itself.

#include "platform/SocketRole.h"
#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <QTimer>

class TcpListener final : public SocketRole {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kFirstRetry{100};
    static constexpr std::chrono::milliseconds kLastRetry{5000};

    // Listens on a bound stream socket; a null listener and failure when the kernel refuses.
    static TcpListener* listen(UniqueFd bound, qint64 readLimit, QObject* parent,
                               ComponentResult& failure);

    Socket::States state() const override { return Socket::States::Listening; }
    int localPort() const override { return port_; }
    void setReadLimit(qint64 bytes) override { readLimit_ = bytes; }
    void close(std::chrono::milliseconds lingerLimit) override;

    // The retry timer's handler: takes waiting connections again.
    void retryAccept();
    // False while taking connections is paused after a failure.
    bool accepting() const { return notifier_ && notifier_->isEnabled(); }
    // How long the pending retry waits.
    std::chrono::milliseconds retryDelay() const { return retryTimer_.intervalAsDuration(); }

private:
    TcpListener(UniqueFd listening, qint64 readLimit, QObject* parent);
    void acceptWaiting();
    void announce(int fd);
    void pause(int errnoValue);

    UniqueFd fd_;
    NotifierPtr notifier_;
    int port_;
    qint64 readLimit_;
    QTimer retryTimer_;
    std::chrono::milliseconds delay_ = kFirstRetry; // for the next failure
    bool reported_ = false; // the current episode of failures has been reported
};
