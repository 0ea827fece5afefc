#pragma once
// The connection of a client session: socket element 0 connected to IPAddress:PortNumber,
// made again every 5 s after it closed. When it follows the virtual port it is made while an
// application holds the port, and closed when the application leaves.

#include "platform/ComponentResult.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class Socket;
class StatusSink;
struct SessionSettings;

class ClientConnection : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds reconnectInterval{5000};

    ClientConnection(Socket& socket, const SessionSettings& settings, StatusSink& sink);

    // Activation: connects now, or later when it follows the virtual port. A UDP client binds.
    ComponentResult open();
    // Deactivation: no attempt is made any more.
    void stop();

    bool isConnecting() const { return connecting_; }
    bool isReconnecting() const { return reconnectTimer_.isActive(); }
    // The connection being made is closed as soon as what waits has gone out: the
    // application that wanted it has left.
    bool closesOnceMade() const { return closeAfterConnect_; }

    // The connection is made.
    void made();
    // Element 0 was closed by the session's close handler: show it and try again in 5 s.
    void closed();
    void reconnectTick();
    // An application opened or closed the virtual port. With bytesHeld a connection being
    // made is kept, to deliver them before it closes.
    void followApplication(bool opened, bool bytesHeld);

signals:
    void connected();
    // A connection that followed the virtual port could not be made.
    void connectFailed();

private:
    bool connectNow();
    void status(int state);

    Socket& socket_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    QTimer reconnectTimer_;
    bool connecting_ = false;        // an attempt is under way
    bool applicationHolds_ = false;  // an application holds the followed virtual port
    bool closeAfterConnect_ = false; // the application left while its bytes wait to go out
};
