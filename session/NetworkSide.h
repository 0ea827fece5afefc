#pragma once
// The network side of one activation: the session's socket array as a TCP client, a TCP server
// or a UDP socket. It opens and closes it, accepts a server's clients up to a bound, runs the
// close handler, and keeps what it knows of each connection: whether its peer closed while
// its bytes were still held back, how long it has taken nothing, and, with COM port control,
// its Telnet framing and its part in the control of the port's line.

#include "session/ClientConnection.h"
#include "session/ComPortLink.h"
#include "session/LinkMonitor.h"
#include "session/StatusSink.h"

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

class PortLine;
class Socket;
class SocketArray;
struct SessionSettings;

class NetworkSide : public QObject, public LinkMonitorSession {
    Q_OBJECT
public:
    // How long one of several clients may take nothing while bytes wait for it.
    static constexpr std::chrono::seconds stallLimit{10};

    NetworkSide(SocketArray& sockets, const SessionSettings& settings, StatusSink& sink,
                PortLine& line);

    // Connects, listens or binds element 0 and shows it. A failure leaves element 0 closed
    // and shows nothing: the caller shows its text.
    OpenAttempt open();
    // Deactivation: every element closed.
    void close();

    ClientConnection& client() { return client_; }
    const ClientConnection& client() const { return client_; }

    Socket& socket(int index) override;
    int maxSocketIndex() const override;
    bool anyConnected() const;
    // The connected elements, lowest index first; only the first with firstOnly.
    std::vector<int> connected(bool firstOnly = false) const;
    // The COM port control of a connection; null without it.
    ComPortLink* comPort(int index) const;
    // COM port control for a client session's connection, once it is made.
    void controlPort(std::unique_ptr<ComPortLink> link) {
        connections_[0].comPort = std::move(link);
    }
    // How many leading bytes of data the element takes now, and sending them framed for it.
    qint64 room(int index, const QByteArray& data);
    void send(int index, const QByteArray& data);
    // The first client: the lowest index from 1 that is connected, or whose peer closed while
    // its bytes are still being taken; 0 when there is none.
    int firstClient() const;
    long connectedClients() const { return connectedClients_; }
    // The most clients served at once; further requests are refused.
    int clientLimit() const { return clientLimit_; }
    // A connection that follows the virtual port is being made.
    bool connectingForApplication() const;

    // Socket events.
    void connectionRequest(int requestId);
    void peerClosed(int index);
    // The close handler: closes one element and updates the count, the status and, for a
    // client, the reconnect.
    void closeConnection(int index);
    void error(int index, int number, const QString& description);

    // Closes the connections whose peer closed, once everything they sent has been taken.
    void closeDrained();
    // One heartbeat tick while bytes wait for targets: one of several clients that has taken
    // nothing for stallLimit is closed and logged, so that it holds the others no longer.
    void checkStalls(const std::vector<int>& targets, bool bytesWaiting);
    // The heartbeat's part for COM port clients: their framing's grace and waiting answers,
    // and every PortLine::pollTicks a look at the modem lines and receive errors.
    void comPortTick(int periods);
    int comPortTicksUntilDue() const;

signals:
    // A peer closed while its bytes were held back: they are to be taken before it is closed.
    void drainNeeded();

private:
    // What the session knows of one connection beyond its socket.
    struct Connection {
        bool draining = false; // the peer closed; its bytes are still being taken
        int fullTicks = 0;     // ticks its send queue stayed full while bytes waited
        std::unique_ptr<ComPortLink> comPort;
    };

    bool monitorActive() const override;
    void closeSocket(int index) override { closeConnection(index); }
    void logError(const QString& description) override { sink_.logError(description); }

    ComponentResult listen();
    void status(const QString& caption) { sink_.showStatus(StatusSink::Network, caption); }
    QString clientCountText() const;
    QString peerName(int index) const;
    void releaseDepartedClients();
    void refuse();
    int freeSlot() const;
    void reportDroppedDatagrams();
    bool anyControlsPort() const;

    SocketArray& sockets_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    PortLine& line_;
    ClientConnection client_;
    std::map<int, Connection> connections_;
    long connectedClients_ = 0;
    int clientLimit_ = 0;
    long refused_ = 0;     // requests refused since the last one accepted
    bool closing_ = false; // the close handler's re-entry flag
    int pollLeft_ = 0;     // heartbeat periods until the next look at the port's lines
};
