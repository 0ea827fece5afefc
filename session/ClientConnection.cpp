#include "session/ClientConnection.h"

#include "platform/Socket.h"
#include "session/SessionHeartbeat.h"
#include "session/SessionSettings.h"
#include "session/SessionTexts.h"
#include "session/StatusSink.h"

using namespace SessionText;

namespace {
constexpr int kConnected = static_cast<int>(Socket::States::Connected);
}

ClientConnection::ClientConnection(Socket& socket, const SessionSettings& settings,
                                   StatusSink& sink)
    : socket_(socket)
    , settings_(settings)
    , sink_(sink) {
    reconnectTimer_.setInterval(reconnectInterval);
    connect(&reconnectTimer_, &QTimer::timeout, this, &ClientConnection::reconnectTick);
}

void ClientConnection::status(int state) {
    sink_.showStatus(StatusSink::Network, statusText(TcpIpStatus, state));
}

ComponentResult ClientConnection::open() {
    socket_.setRemoteHost(settings_.remoteHost);
    socket_.setRemotePort(settings_.port);
    const bool deferred = settings_.followsApplication();
    if (!deferred)
        status(Connecting);
    if (settings_.udp) {
        socket_.Bind(settings_.port); // a failure here is ignored: sends still go out
        return ComponentResult::success();
    }
    if (deferred)
        return ComponentResult::success();
    const ComponentResult result = socket_.Connect();
    connecting_ = result.ok();
    return result;
}

void ClientConnection::stop() {
    reconnectTimer_.stop();
    connecting_ = false;
    closeAfterConnect_ = false;
}

void ClientConnection::made() {
    reconnectTimer_.stop();
    connecting_ = false;
    status(Connected);
    SessionHeartbeat::instance().wake(); // a link monitor may count the quiet time now
    emit connected();
    // The application that started this connection has gone: what it wrote is on its way
    // now, and the connection follows the port in closing.
    if (closeAfterConnect_) {
        closeAfterConnect_ = false;
        socket_.Close();
        status(Closed);
    }
}

void ClientConnection::closed() {
    const bool attemptFailed = connecting_;
    connecting_ = false;
    status(Closed);
    // A connection that follows the virtual port is not made again once the application left.
    if (!settings_.followsApplication() || applicationHolds_)
        reconnectTimer_.start();
    if (attemptFailed && settings_.followsApplication())
        emit connectFailed();
}

// Starts the connection; a connect that fails at once is shown and logged.
bool ClientConnection::connectNow() {
    ComponentResult result = socket_.setRemoteHost(settings_.remoteHost);
    if (result)
        result = socket_.setRemotePort(settings_.port);
    if (result) {
        status(Connecting);
        result = socket_.Connect();
    }
    connecting_ = result.ok();
    if (connecting_)
        return true;
    socket_.Close();
    socket_.setRemoteHost(QString());
    socket_.setRemotePort(0);
    sink_.showStatus(StatusSink::Network, errorText(TcpIpStatus, result.description));
    sink_.logError(result.description);
    return false;
}

// Attempts repeat every 5 s until the connection is made.
void ClientConnection::reconnectTick() {
    if (!settings_.udp)
        connectNow();
}

void ClientConnection::followApplication(bool opened, bool bytesHeld) {
    if (settings_.udp || !settings_.followsApplication())
        return;
    applicationHolds_ = opened;
    if (opened) {
        closeAfterConnect_ = false;
        status(Connecting);
        if (socket_.State() == kConnected || connecting_)
            return;
        if (!connectNow()) {
            reconnectTimer_.start();
            emit connectFailed();
        }
        return;
    }
    status(Closed);
    reconnectTimer_.stop();
    if (socket_.State() == kConnected) {
        socket_.Close();
    } else if (connecting_ && bytesHeld) {
        closeAfterConnect_ = true;
    } else if (connecting_) {
        connecting_ = false;
        socket_.Close();
    }
}
