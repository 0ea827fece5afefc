#pragma once
// One client of the command channel: reads request lines, has each one answered, and keeps
// the client within bounds. A line longer than the bound ends the connection after one
// refusal; a line that is not UTF-8 or not "TOPIC<TAB>COMMAND" is refused and the connection
// goes on; a client that leaves its answers unread, or stays silent, is dropped.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalSocket;

enum class CommandReply { Accepted, Refused, NoSuchTopic };
using CommandHandler = std::function<CommandReply(const QString& topic, const QString& command)>;

class CommandConnection : public QObject {
    Q_OBJECT
public:
    // Takes over the connected socket (it becomes a child of this object).
    CommandConnection(QLocalSocket* socket, const CommandHandler& handler, QObject* parent);

    // The idle check, once per tick of the channel: true when the client completed no request
    // since the previous check (and is not waiting for an answer), so it is time to drop it.
    bool idleSinceLastCheck();
    // Ends the connection at once.
    void drop();

signals:
    // The connection has ended; emitted once.
    void finished();

private:
    void readRequests();
    void answerLines();
    QByteArray answerFor(QByteArray line) const;
    void send(const QByteArray& line);
    void refuseAndClose(const char* reason);
    void end();

    QLocalSocket* socket_;
    const CommandHandler& handler_;
    QByteArray pending_;
    bool busy_ = false;    // a handler runs; requests arriving meanwhile wait their turn
    bool quiet_ = false;   // no complete request since the last idle check
    bool closing_ = false; // refused for good; anything more the client sends is dropped
    bool finished_ = false;
};
