#include "session/NetworkSide.h"

#include "platform/SocketArray.h"
#include "session/ComPortServer.h"
#include "session/PortLine.h"
#include "session/SessionHeartbeat.h"
#include "session/SessionSettings.h"
#include "session/SessionTexts.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <sys/resource.h>

using namespace SessionText;

namespace {

constexpr int kClosed = static_cast<int>(Socket::States::Closed);
constexpr int kConnected = static_cast<int>(Socket::States::Connected);
constexpr int kTcp = static_cast<int>(Socket::Protocols::Tcp);
constexpr int kUdp = static_cast<int>(Socket::Protocols::Udp);
constexpr int kSocketLayerErrors = 10000;
constexpr int kAddressNotAvailable = 10049;
constexpr int kMostClients = 1024;

// Clients one session serves at once: an eighth of the descriptors this process may open, so
// that a flood of connections to one session leaves room for every other session and file.
int clientsWithinDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMostClients;
    return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 8, 1, kMostClients));
}

} // namespace

NetworkSide::NetworkSide(SocketArray& sockets, const SessionSettings& settings, StatusSink& sink,
                         PortLine& line)
    : sockets_(sockets)
    , settings_(settings)
    , sink_(sink)
    , line_(line)
    , client_(sockets.at(0), settings, sink) {}

Socket& NetworkSide::socket(int index) {
    return sockets_.at(index);
}

int NetworkSide::maxSocketIndex() const {
    return sockets_.maxIndex();
}

bool NetworkSide::monitorActive() const {
    return !settings_.udp;
}

OpenAttempt NetworkSide::open() {
    Socket& socket = sockets_.at(0);
    if (settings_.udp) {
        socket.setProtocol(kUdp);
    } else {
        socket.Close();
        socket.setProtocol(kTcp);
    }
    // Each connection holds at most one buffer of unsent bytes.
    socket.setSendLimit(settings_.bufferSize);
    const ComponentResult guarded = settings_.server ? listen() : client_.open();
    if (guarded)
        return OpenAttempt::success();
    socket.Close();
    socket.setRemoteHost(QString());
    socket.setRemotePort(0);
    return {false, guarded.number == kAddressNotAvailable,
            errorText(TcpIpStatus, guarded.description)};
}

ComponentResult NetworkSide::listen() {
    Socket& socket = sockets_.at(0);
    clientLimit_ = clientsWithinDescriptorLimit();
    socket.setLocalPort(settings_.port);
    if (settings_.udp) {
        // Without a remote host the element answers whoever sent last.
        socket.setRemoteHost(QString());
        socket.setRemotePort(settings_.port);
    }
    ComponentResult result = socket.Bind(settings_.port, settings_.localAddress);
    if (result && !settings_.udp)
        result = socket.Listen();
    if (result)
        status(statusText(TcpIpStatus, Listening));
    return result;
}

void NetworkSide::close() {
    client_.stop();
    reportDroppedDatagrams();
    for (int i = 0; i <= maxSocketIndex(); ++i) {
        sockets_.at(i).Close();
        sockets_.at(i).setLocalPort(0);
    }
    connections_.clear();
    connectedClients_ = 0;
    sockets_.at(0).setProtocol(kTcp);
    status(statusText(TcpIpStatus, Closed));
}

bool NetworkSide::anyConnected() const {
    return !connected(true).empty();
}

std::vector<int> NetworkSide::connected(bool firstOnly) const {
    std::vector<int> indexes;
    for (int i = 0; i <= maxSocketIndex(); ++i) {
        if (sockets_.at(i).State() != kConnected)
            continue;
        indexes.push_back(i);
        if (firstOnly)
            break;
    }
    return indexes;
}

ComPortLink* NetworkSide::comPort(int index) const {
    const auto it = connections_.find(index);
    return it == connections_.end() ? nullptr : it->second.comPort.get();
}

qint64 NetworkSide::room(int index, const QByteArray& data) {
    if (ComPortLink* link = comPort(index))
        return link->fit(data);
    return std::min<qint64>(data.size(), sockets_.at(index).sendRoom());
}

void NetworkSide::send(int index, const QByteArray& data) {
    if (ComPortLink* link = comPort(index))
        link->send(data);
    else
        sockets_.at(index).SendData(data);
}

int NetworkSide::firstClient() const {
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        const auto it = connections_.find(i);
        if (sockets_.at(i).State() == kConnected ||
            (it != connections_.end() && it->second.draining))
            return i;
    }
    return 0;
}

bool NetworkSide::connectingForApplication() const {
    return client_.isConnecting() && settings_.followsApplication();
}

QString NetworkSide::clientCountText() const {
    return LoadResString(TcpIpStatus) + QStringLiteral(" (") + QString::number(connectedClients_) +
           QStringLiteral(")") + LoadResString(Connected);
}

QString NetworkSide::peerName(int index) const {
    const Socket& socket = sockets_.at(index);
    return socket.RemoteHostIP() + QLatin1Char(':') + QString::number(socket.RemotePort());
}

void NetworkSide::connectionRequest(int requestId) {
    if (!settings_.server)
        return;
    const bool single = settings_.options.AllowMultiConnect == 0;
    if (connectedClients_ >= (single ? 1 : clientLimit_))
        releaseDepartedClients();
    if (single && connectedClients_ != 0)
        return;
    if (connectedClients_ >= clientLimit_) {
        refuse(); // not accepted: the socket layer closes it at once
        return;
    }
    if (refused_ > 1)
        sink_.logError(QStringLiteral("%1 clients were refused in all").arg(refused_));
    refused_ = 0;
    ++connectedClients_;
    const int slot = freeSlot();
    Socket& client = sockets_.load(slot);
    client.setLocalPort(sockets_.at(0).LocalPort());
    client.setSendLimit(settings_.bufferSize);
    client.Accept(requestId);
    if (settings_.options.ComPortControl != 0 && !settings_.udp)
        connections_[slot].comPort = std::make_unique<ComPortServer>(client, line_);
    status(clientCountText());
    SessionHeartbeat::instance().wake(); // a link monitor may count the quiet time now
}

// A burst of connections can fill every place with clients that have already left, their
// close events not yet handled: those places are freed before a newcomer is turned away.
void NetworkSide::releaseDepartedClients() {
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        if (sockets_.at(i).State() == kConnected && sockets_.at(i).peerHasLeft())
            peerClosed(i);
    }
}

// The lowest closed element from 1, or a new one after the highest.
int NetworkSide::freeSlot() const {
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        if (sockets_.at(i).State() == kClosed)
            return i;
    }
    return maxSocketIndex() + 1;
}

// The first refusal of a flood is logged at once, the whole count with the next client
// accepted.
void NetworkSide::refuse() {
    if (refused_++ == 0)
        sink_.logError(QStringLiteral("Client refused: this session serves at most %1 clients")
                           .arg(clientLimit_));
}

// What the UDP socket dropped while this activation ran (from hosts other than a client's
// remote host, or not sendable) is logged once, at the end, as a count.
void NetworkSide::reportDroppedDatagrams() {
    const qint64 dropped = settings_.udp ? sockets_.at(0).droppedDatagrams() : 0;
    if (dropped > 0)
        sink_.logError(QStringLiteral("Datagrams dropped by the UDP socket (from other hosts, "
                                      "or with nowhere to go): %1")
                           .arg(dropped));
}

void NetworkSide::peerClosed(int index) {
    if (sockets_.at(index).bytesAvailable() > 0) {
        connections_[index].draining = true;
        emit drainNeeded();
        return;
    }
    closeConnection(index);
}

void NetworkSide::closeConnection(int index) {
    if (closing_)
        return;
    QScopedValueRollback guard(closing_, true);
    connections_.erase(index);
    sockets_.at(index).Close();
    connectedClients_ = std::max(connectedClients_ - 1, 0L);
    if (settings_.server && connectedClients_ == 0)
        line_.restore();
    if (!settings_.server)
        client_.closed();
    else if (connectedClients_ != 0)
        status(clientCountText());
    else
        status(statusText(TcpIpStatus, Listening));
}

void NetworkSide::closeDrained() {
    std::vector<int> drained;
    for (const auto& [index, connection] : connections_) {
        if (connection.draining && sockets_.at(index).bytesAvailable() == 0)
            drained.push_back(index);
    }
    for (int index : drained)
        closeConnection(index);
}

void NetworkSide::error(int index, int number, const QString& description) {
    status(statusText(TcpIpStatus, Error));
    sink_.logError(description);
    if (number > kSocketLayerErrors)
        closeConnection(index);
}

void NetworkSide::checkStalls(const std::vector<int>& targets, bool bytesWaiting) {
    const int limitTicks = int(std::chrono::milliseconds(stallLimit) / SessionHeartbeat::interval);
    if (!bytesWaiting || targets.size() < 2) {
        for (auto& [index, connection] : connections_)
            connection.fullTicks = 0;
        return;
    }
    for (int index : targets) {
        Connection& connection = connections_[index];
        const ComPortLink* link = comPort(index);
        if (sockets_.at(index).sendRoom() > 0 && !(link && !link->takesData())) {
            connection.fullTicks = 0;
            continue;
        }
        if (++connection.fullTicks < limitTicks)
            continue;
        sink_.logError(QStringLiteral("Client %1 closed: it took no data for %2 s")
                           .arg(peerName(index))
                           .arg(stallLimit.count()));
        closeConnection(index);
    }
}

bool NetworkSide::anyControlsPort() const {
    return std::any_of(connections_.begin(), connections_.end(), [](const auto& entry) {
        return entry.second.comPort && entry.second.comPort->controlsPort();
    });
}

void NetworkSide::comPortTick(int periods) {
    for (auto& [index, connection] : connections_) {
        if (connection.comPort)
            connection.comPort->tick(periods);
    }
    if (!anyControlsPort() || !line_.hasStatusLines())
        return;
    pollLeft_ -= periods;
    if (pollLeft_ > 0)
        return;
    pollLeft_ = PortLine::pollTicks;
    const PortLine::Changes changes = line_.poll();
    if (changes.modem == 0 && changes.line == 0)
        return;
    for (auto& [index, connection] : connections_) {
        if (connection.comPort)
            connection.comPort->notify(changes.modem, changes.line);
    }
}

int NetworkSide::comPortTicksUntilDue() const {
    const bool eachTick = std::any_of(connections_.begin(), connections_.end(), [](const auto& e) {
        return e.second.comPort && e.second.comPort->needsTicks();
    });
    if (eachTick)
        return 1;
    if (anyControlsPort() && line_.hasStatusLines())
        return std::max(pollLeft_, 1);
    return 0;
}
