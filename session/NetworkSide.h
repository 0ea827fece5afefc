#pragma once
// The network side of one activation: the session's socket array as a TCP client, a TCP server
// or a UDP socket. It opens and closes it, makes and remakes the client's connection, accepts
// a server's clients up to a bound, and keeps what it knows of each connection: whether its
// peer closed while its bytes were still held back, and how long it has taken nothing.

#include "session/LinkMonitor.h"
#include "session/StatusSink.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <map>
#include <vector>

class Socket;
class SocketArray;
struct SessionSettings;

class NetworkSide : public QObject, public LinkMonitorSession {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds reconnectInterval{5000};
    // How long one of several clients may take nothing while bytes wait for it.
    static constexpr std::chrono::seconds stallLimit{10};

    NetworkSide(SocketArray& sockets, const SessionSettings& settings, StatusSink& sink);

    // Connects, listens or binds element 0 and shows it. A failure leaves element 0 closed
    // and shows nothing: the caller shows its text.
    OpenAttempt open();
    // Deactivation: every element closed.
    void close();

    Socket& socket(int index) override;
    int maxSocketIndex() const override;
    bool anyConnected() const;
    // The connected elements, lowest index first; only the first with firstOnly.
    std::vector<int> connected(bool firstOnly = false) const;
    // The first client: the lowest index from 1 that is connected, or whose peer closed while
    // its bytes are still being taken; 0 when there is none.
    int firstClient() const;
    long connectedClients() const { return connectedClients_; }
    // The most clients served at once; further requests are refused.
    int clientLimit() const { return clientLimit_; }
    bool isReconnecting() const { return reconnectTimer_.isActive(); }
    // A connection that follows the virtual port is being made.
    bool connectingForApplication() const;

    // Socket events.
    void connectionMade();
    void connectionRequest(int requestId);
    void peerClosed(int index);
    // The close handler: closes one element and updates the count, the status and, for a
    // client, the reconnect.
    void closeConnection(int index);
    void error(int index, int number, const QString& description);
    void reconnectTick();

    // An application opened or closed the virtual port: a client that follows it connects or
    // closes. With bytesHeld a connection being made is kept, to deliver them before it closes.
    void followApplication(bool opened, bool bytesHeld);
    // Closes the connections whose peer closed, once everything they sent has been taken.
    void closeDrained();
    // One heartbeat tick of the fan-out to targets while bytes wait: one of several clients
    // that has taken nothing for stallLimit is closed, so that it does not hold the others.
    void checkStalls(const std::vector<int>& targets, bool bytesWaiting);

signals:
    void clientConnected();
    // A connection that followed the virtual port could not be made.
    void connectFailed();
    // A peer closed while its bytes were held back: they are to be taken before it is closed.
    void drainNeeded();

private:
    // What the session knows of one connection beyond its socket.
    struct Connection {
        bool draining = false; // the peer closed; its bytes are still being taken
        int fullTicks = 0;     // ticks its send queue stayed full while bytes waited
    };

    bool monitorActive() const override;
    void closeSocket(int index) override { closeConnection(index); }
    void logError(const QString& description) override { sink_.logError(description); }

    Socket& socket0() const;
    void status(const QString& caption) { sink_.showStatus(StatusSink::Network, caption); }
    QString clientCountText() const;
    QString peerName(int index) const;
    bool connectClient();
    void refuse();
    int freeSlot() const;

    SocketArray& sockets_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    QTimer reconnectTimer_;
    std::map<int, Connection> connections_;
    long connectedClients_ = 0;
    int clientLimit_ = 0;
    long refused_ = 0;               // requests refused since the last one accepted
    bool closing_ = false;           // the close handler's re-entry flag
    bool connecting_ = false;        // the client's connect is under way
    bool applicationHolds_ = false;  // an application holds the followed virtual port
    bool closeAfterConnect_ = false; // the application left while its bytes wait to go out
};
