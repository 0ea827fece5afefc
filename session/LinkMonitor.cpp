#include "session/LinkMonitor.h"

#include "model/GlobalSettings.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "platform/Socket.h"
#include "session/SessionHeartbeat.h"

#include <algorithm>

namespace {

constexpr int kConnected = static_cast<int>(Socket::States::Connected);

QString failureText(int status) {
    return QStringLiteral("Ping Failed - Ping Result = ") + PingStatusText(status);
}

} // namespace

LinkMonitor::LinkMonitor(LinkMonitorSession& session, QObject* parent)
    : QObject(parent)
    , session_(session)
    , keepAlive_(&KeepAlivePing) {}

int LinkMonitor::thresholdTicks(int pingFrequency) {
    if (pingFrequency <= 0)
        return 9; // below the list counts as its first entry, never as "ping on every tick"
    if (pingFrequency == 1)
        return 18;
    return (pingFrequency - 1) * 91;
}

void LinkMonitor::restartCount() {
    pingTicks_ = 0;
    quietSince_.start();
}

void LinkMonitor::dataArrived() {
    restartCount();
}

void LinkMonitor::reset() {
    restartCount();
    for (Probe& probe : pending_)
        disconnectWatches(probe);
    pending_.clear();
    noEchoReported_ = false;
}

void LinkMonitor::tick(int periods) {
    if (!session_.monitorActive() || globals().PingEnabled == 0)
        return;
    // While a pass is out the count waits: the next quiet period starts when it has ended.
    if (!pending_.empty())
        return;
    pingTicks_ += quietTicks(periods);
    if (pingTicks_ < thresholdTicks(globals().PingFrequency))
        return;
    restartCount();
    startPass();
}

// Of the periods the heartbeat slept through, those since the count last started.
int LinkMonitor::quietTicks(int periods) const {
    if (periods <= 1 || !quietSince_.isValid())
        return 1;
    const qint64 quiet = quietSince_.elapsed() / SessionHeartbeat::interval.count();
    return int(std::clamp<qint64>(quiet, 1, periods));
}

int LinkMonitor::ticksUntilPass() const {
    return std::max(1, thresholdTicks(globals().PingFrequency) - pingTicks_);
}

void LinkMonitor::startPass() {
    std::vector<int> connected;
    for (int i = 0; i <= session_.maxSocketIndex(); ++i) {
        if (session_.socket(i).State() == kConnected)
            connected.push_back(i);
    }
    for (int index : connected)
        probe(index, session_.socket(index));
}

void LinkMonitor::probe(int index, Socket& socket) {
    Probe p;
    p.id = nextProbeId_++;
    p.index = index;
    p.socket = &socket;
    p.remoteIP = socket.RemoteHostIP();
    p.remotePort = socket.RemotePort();
    p.localPort = socket.LocalPort();
    // A close or a new connection on this element means the echo is no longer about it.
    auto replaced = [this, id = p.id] {
        const auto it = findProbe(id);
        if (it != pending_.end())
            it->replaced = true;
    };
    p.watches = {connect(&socket, &Socket::closed, this, replaced),
                 connect(&socket, &Socket::connected, this, replaced),
                 connect(&socket, &Socket::error, this, replaced)};
    const QString address = p.remoteIP;
    const int id = p.id;
    pending_.push_back(std::move(p));
    keepAlive_(address, this, [this, id](const EchoReply& reply) { echoEnded(id, reply); });
}

std::vector<LinkMonitor::Probe>::iterator LinkMonitor::findProbe(int id) {
    return std::find_if(pending_.begin(), pending_.end(),
                        [id](const Probe& p) { return p.id == id; });
}

void LinkMonitor::disconnectWatches(Probe& probe) {
    for (const QMetaObject::Connection& c : probe.watches)
        disconnect(c);
    probe.watches.clear();
}

void LinkMonitor::echoEnded(int probeId, const EchoReply& reply) {
    const auto it = findProbe(probeId);
    if (it == pending_.end())
        return; // forgotten by a reset
    Probe probe = std::move(*it);
    pending_.erase(it);
    disconnectWatches(probe);
    if (reply.status == EchoStatus::Success || !session_.monitorActive())
        return;
    if (reply.echoUnavailable) {
        reportNoEcho(reply);
        return;
    }
    if (!stillConnected(probe))
        return;
    session_.closeSocket(probe.index);
    session_.logError(failureText(reply.status));
}

bool LinkMonitor::stillConnected(const Probe& probe) {
    if (probe.replaced || probe.socket.isNull() || probe.index > session_.maxSocketIndex())
        return false;
    Socket& now = session_.socket(probe.index);
    return &now == probe.socket.data() && now.State() == kConnected &&
           now.RemoteHostIP() == probe.remoteIP && now.RemotePort() == probe.remotePort &&
           now.LocalPort() == probe.localPort;
}

// This machine cannot send echoes at all: say so once per activation and keep the
// connections, which may well be alive.
void LinkMonitor::reportNoEcho(const EchoReply& reply) {
    if (noEchoReported_)
        return;
    noEchoReported_ = true;
    session_.logError(failureText(reply.status) +
                      QStringLiteral(" - no ICMP echo socket can be opened (it needs "
                                     "CAP_NET_RAW or a group in net.ipv4.ping_group_range); "
                                     "connections are not monitored"));
}
