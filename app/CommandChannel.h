#pragma once
// The command channel: other programs of the same user drive this program through a Unix
// stream socket, <runtime folder>/<app>.<pid>.dde (folder 0700, socket 0600, the peer's uid
// checked). Each request line "TOPIC<TAB>COMMAND" goes to the handler, and its answer goes
// back as "ACK" or "NAK". Everything runs on the event loop; no client can hold it up.

#include "app/CommandConnection.h"

#include <QLocalServer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class UnixSocketPath;

class CommandChannel : public QObject {
    Q_OBJECT
public:
    explicit CommandChannel(CommandHandler handler, QObject* parent = nullptr);
    ~CommandChannel() override;

    // Listens at <runtime folder>/<executable name>.<pid>.dde.
    bool listen();
    // Listens at path; a socket file left there by a program that had our pid is replaced.
    // False, with error() telling why, when it cannot.
    bool listen(const QString& path);
    // The socket's path while listening; the file is removed when the channel ends.
    QString path() const { return path_; }
    const QString& error() const { return error_; }
    int connectionCount() const { return static_cast<int>(connections_.size()); }

    // Every half of the idle bound: drops the clients that stayed silent since the last tick.
    QTimer idleTimer;
    void idleTimer_Timer();

private:
    void acceptConnections();
    void forget(CommandConnection* connection);

    CommandHandler handler_;
    // Declared before the server, which removes its socket file through it when it closes.
    std::unique_ptr<UnixSocketPath> socketPath_;
    QString path_;
    QLocalServer server_;
    std::vector<CommandConnection*> connections_;
    QString error_;
};
