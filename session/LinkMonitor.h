#pragma once
// The link monitor of a session: after a quiet period it sends one ICMP echo to the peer of
// every connected socket and closes the connections whose peer does not answer. The echoes
// run in the background; each reply or time-out closes (or keeps) the connection it was sent
// for, and never a connection that has replaced it since.
//
// A session calls reset() when it activates and deactivates, dataArrived() on every socket
// data arrival, and tick() as the last step of its heartbeat tick when its serial-to-network
// buffer is empty.

#include "net/EchoReply.h"
#include "platform/Socket.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

// What the monitor needs from its session.
struct LinkMonitorSession {
    virtual ~LinkMonitorSession() = default;
    // Active and not UDP: only then are peers pinged.
    virtual bool monitorActive() const = 0;
    virtual int maxSocketIndex() const = 0;
    virtual Socket& socket(int index) = 0;
    // The session's close handler for socket index (a client then arms its reconnect).
    virtual void closeSocket(int index) = 0;
    virtual void logError(const QString& description) = 0;
};

class LinkMonitor : public QObject {
    Q_OBJECT
public:
    // Sends one echo to a dotted address; done gets the outcome later on the event loop.
    using KeepAlive = std::function<void(const QString& address, QObject* context, EchoDone)>;

    explicit LinkMonitor(LinkMonitorSession& session, QObject* parent = nullptr);

    // The echo to use instead of KeepAlivePing (tests).
    void setKeepAlive(KeepAlive keepAlive) { keepAlive_ = std::move(keepAlive); }

    // Quiet ticks before a ping pass for a PingFrequency index: 9, 18, then (n - 1) x 91.
    static int thresholdTicks(int pingFrequency);

    // Ticks counted since the last pass or data arrival.
    int PingTicks() const { return pingTicks_; }

    // The session went active or inactive: the count starts again, echoes still on their way
    // are forgotten, and a missing echo facility will be reported again.
    void reset();
    // Data arrived on any socket of the session: the quiet period starts again.
    void dataArrived();
    // One heartbeat tick on which the serial-to-network buffer is empty. periods > 1: the
    // heartbeat slept through the ticks before, and those since the last data count too.
    void tick(int periods = 1);
    // Ticks until the next pass is due, at least 1.
    int ticksUntilPass() const;

    // Echoes sent and not yet ended.
    int pendingEchoes() const { return static_cast<int>(pending_.size()); }

private:
    // The connection an echo was sent for.
    struct Probe {
        int id = 0;
        int index = 0;
        QPointer<Socket> socket;
        QString remoteIP;
        int remotePort = 0;
        int localPort = 0;
        bool replaced = false; // the socket closed or connected again meanwhile
        std::vector<QMetaObject::Connection> watches;
    };

    void startPass();
    std::vector<Probe>::iterator findProbe(int id);
    void disconnectWatches(Probe& probe);
    void probe(int index, Socket& socket);
    void echoEnded(int probeId, const EchoReply& reply);
    bool stillConnected(const Probe& probe);
    void reportNoEcho(const EchoReply& reply);
    void restartCount();
    int quietTicks(int periods) const;

    LinkMonitorSession& session_;
    KeepAlive keepAlive_;
    int pingTicks_ = 0;
    QElapsedTimer quietSince_; // since the count last started at 0
    int nextProbeId_ = 1;
    std::vector<Probe> pending_;
    bool noEchoReported_ = false;
};
