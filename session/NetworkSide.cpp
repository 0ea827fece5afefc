#include "session/NetworkSide.h"

#include "platform/SocketArray.h"
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

NetworkSide::NetworkSide(SocketArray& sockets, const SessionSettings& settings, StatusSink& sink)
    : sockets_(sockets)
    , settings_(settings)
    , sink_(sink) {
    reconnectTimer_.setInterval(reconnectInterval);
    connect(&reconnectTimer_, &QTimer::timeout, this, &NetworkSide::reconnectTick);
}

Socket& NetworkSide::socket0() const {
    return sockets_.at(0);
}

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
    Socket& socket = socket0();
    if (settings_.udp) {
        socket.setProtocol(kUdp);
    } else {
        socket.Close();
        socket.setProtocol(kTcp);
    }
    // Each connection holds at most one buffer of unsent bytes.
    socket.setSendLimit(settings_.bufferSize);
    ComponentResult guarded;
    if (!settings_.server) {
        socket.setRemoteHost(settings_.remoteHost);
        socket.setRemotePort(settings_.port);
        if (!settings_.followsApplication())
            status(statusText(TcpIpStatus, Connecting));
        if (settings_.udp)
            socket.Bind(settings_.port); // a failure here is ignored: sends still go out
        else if (!settings_.followsApplication())
            connecting_ = bool(guarded = socket.Connect());
    } else {
        clientLimit_ = clientsWithinDescriptorLimit();
        socket.setLocalPort(settings_.port);
        if (settings_.udp)
            socket.setRemotePort(settings_.port);
        guarded = socket.Bind(settings_.port, settings_.localAddress);
        if (guarded && !settings_.udp)
            guarded = socket.Listen();
        if (guarded)
            status(statusText(TcpIpStatus, Listening));
    }
    if (guarded)
        return OpenAttempt::success();
    socket.Close();
    socket.setRemoteHost(QString());
    socket.setRemotePort(0);
    return {false, guarded.number == kAddressNotAvailable,
            errorText(TcpIpStatus, guarded.description)};
}

void NetworkSide::close() {
    reconnectTimer_.stop();
    for (int i = 0; i <= maxSocketIndex(); ++i) {
        sockets_.at(i).Close();
        sockets_.at(i).setLocalPort(0);
    }
    connections_.clear();
    connectedClients_ = 0;
    connecting_ = false;
    socket0().setProtocol(kTcp);
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
    return connecting_ && settings_.followsApplication();
}

QString NetworkSide::clientCountText() const {
    return LoadResString(TcpIpStatus) + QStringLiteral(" (") + QString::number(connectedClients_) +
           QStringLiteral(")") + LoadResString(Connected);
}

QString NetworkSide::peerName(int index) const {
    const Socket& socket = sockets_.at(index);
    return socket.RemoteHostIP() + QLatin1Char(':') + QString::number(socket.RemotePort());
}

void NetworkSide::connectionMade() {
    reconnectTimer_.stop();
    connecting_ = false;
    status(statusText(TcpIpStatus, Connected));
    emit clientConnected();
    // The application that started this connection has gone: what it wrote is on its way
    // now, and the connection follows the port in closing.
    if (closeAfterConnect_) {
        closeAfterConnect_ = false;
        socket0().Close();
        status(statusText(TcpIpStatus, Closed));
    }
}

void NetworkSide::connectionRequest(int requestId) {
    if (settings_.options.AllowMultiConnect == 0 && connectedClients_ != 0)
        return;
    if (!settings_.server)
        return;
    if (connectedClients_ >= clientLimit_) {
        refuse(); // not accepted: the socket layer closes it at once
        return;
    }
    if (refused_ > 1)
        sink_.logError(QStringLiteral("%1 more clients were refused").arg(refused_ - 1));
    refused_ = 0;
    ++connectedClients_;
    const int slot = freeSlot();
    Socket& client = sockets_.load(slot);
    client.setLocalPort(socket0().LocalPort());
    client.setSendLimit(settings_.bufferSize);
    client.Accept(requestId);
    status(clientCountText());
}

// The lowest closed element from 1, or a new one after the highest.
int NetworkSide::freeSlot() const {
    for (int i = 1; i <= maxSocketIndex(); ++i) {
        if (sockets_.at(i).State() == kClosed)
            return i;
    }
    return maxSocketIndex() + 1;
}

// The first refusal of a flood is logged at once, the rest as a count with the next client
// accepted.
void NetworkSide::refuse() {
    if (refused_++ == 0)
        sink_.logError(QStringLiteral("Client refused: this session serves at most %1 clients")
                           .arg(clientLimit_));
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
    const bool attemptFailed = !settings_.server && connecting_;
    if (!settings_.server)
        connecting_ = false;
    sockets_.at(index).Close();
    connectedClients_ = std::max(connectedClients_ - 1, 0L);
    if (settings_.server) {
        status(connectedClients_ != 0 ? clientCountText() : statusText(TcpIpStatus, Listening));
        return;
    }
    status(statusText(TcpIpStatus, Closed));
    // A connection that follows the virtual port is not made again once the application left.
    if (!settings_.followsApplication() || applicationHolds_)
        reconnectTimer_.start();
    if (attemptFailed && settings_.followsApplication())
        emit connectFailed();
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

// Starts the client's connection; a connect that fails at once is shown and logged.
bool NetworkSide::connectClient() {
    Socket& socket = socket0();
    ComponentResult result = socket.setRemoteHost(settings_.remoteHost);
    if (result)
        result = socket.setRemotePort(settings_.port);
    if (result) {
        status(statusText(TcpIpStatus, Connecting));
        result = socket.Connect();
    }
    connecting_ = result.ok();
    if (connecting_)
        return true;
    socket.Close();
    socket.setRemoteHost(QString());
    socket.setRemotePort(0);
    status(errorText(TcpIpStatus, result.description));
    sink_.logError(result.description);
    return false;
}

// Attempts repeat every 5 s until the connection is made.
void NetworkSide::reconnectTick() {
    if (settings_.udp)
        return;
    connectClient();
}

void NetworkSide::followApplication(bool opened, bool bytesHeld) {
    if (settings_.udp || !settings_.followsApplication())
        return;
    applicationHolds_ = opened;
    Socket& socket = socket0();
    if (opened) {
        closeAfterConnect_ = false;
        status(statusText(TcpIpStatus, Connecting));
        if (socket.State() == kConnected || connecting_)
            return;
        if (!connectClient()) {
            reconnectTimer_.start();
            emit connectFailed();
        }
        return;
    }
    status(statusText(TcpIpStatus, Closed));
    reconnectTimer_.stop();
    if (socket.State() == kConnected) {
        socket.Close();
    } else if (connecting_ && bytesHeld) {
        closeAfterConnect_ = true;
    } else if (connecting_) {
        connecting_ = false;
        socket.Close();
    }
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
        if (sockets_.at(index).sendRoom() > 0) {
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
