#pragma once
// Sends ICMP echo requests without ever blocking the event loop: each request ends later, on
// the event loop, with its reply, an error report or its time-out. Replies are matched by
// identifier, sequence, sender and data, so another process's echo is never taken for ours.

#include "net/EchoReply.h"
#include "net/EchoSocket.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;
class QTimer;

class EchoService : public QObject {
    Q_OBJECT
public:
    using Opener = std::function<std::optional<EchoSocket>()>;

    // opener makes the echo socket when the first request needs one (tests choose its kind).
    explicit EchoService(
        Opener opener = [] { return EchoSocket::open(); }, QObject* parent = nullptr);
    ~EchoService() override;

    // The one the program's echoes go through.
    static EchoService& instance();

    // Sends data to the numeric IPv4 address. done gets the outcome from the event loop, never
    // inside this call, and is dropped when context is destroyed first. Without an echo
    // socket the outcome is "IP General Failure" with echoUnavailable set.
    void send(quint32 address, const QByteArray& data, std::chrono::milliseconds timeout,
              QObject* context, EchoDone done);

    // Whether requests can go out (opens the echo socket when it is not open yet).
    bool available();
    // The kind of the open echo socket, nullopt while none is open.
    std::optional<EchoSocket::Kind> socketKind() const;
    // Requests that have not ended yet.
    int pendingCount() const { return static_cast<int>(pending_.size()); }

    // Hands reply to done from the event loop, unless context is gone by then.
    static void deliverLater(QObject* context, EchoDone done, const EchoReply& reply);

private:
    struct Pending {
        quint32 address = 0;
        QByteArray data;
        QElapsedTimer clock;
        QPointer<QObject> context;
        bool hasContext = false;
        EchoDone done;
        std::unique_ptr<QTimer> timer;
    };

    bool ensureSocket();
    std::optional<quint16> freeSequence();
    void readIncoming();
    void handle(const EchoSocket::Incoming& incoming);
    void finish(quint16 sequence, const EchoReply& reply);

    Opener opener_;
    std::optional<EchoSocket> socket_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<quint16, Pending> pending_;
    quint16 identifier_;
    quint16 nextSequence_ = 1;
};
