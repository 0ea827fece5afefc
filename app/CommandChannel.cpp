#include "app/CommandChannel.h"

#include "app/CommandProtocol.h"
#include "platform/Folders.h"
#include "platform/linux/UnixSocketAddress.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// More clients than this at once are turned away; the owner's scripts need a few.
constexpr size_t kMaxConnections = 16;

// Only the user the program runs as may give it commands.
bool peerIsOwner(qintptr fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 &&
           cred.uid == ::geteuid();
}

} // namespace

CommandChannel::CommandChannel(CommandHandler handler, QObject* parent)
    : QObject(parent)
    , handler_(std::move(handler)) {
    idleTimer.setInterval(command_protocol::kAnswerBound / 2);
    connect(&idleTimer, &QTimer::timeout, this, &CommandChannel::idleTimer_Timer);
    connect(&server_, &QLocalServer::newConnection, this, &CommandChannel::acceptConnections);
}

CommandChannel::~CommandChannel() {
    // The connections are children; the server removes its socket file when it closes.
    server_.close();
}

bool CommandChannel::listen() {
    const RuntimeFolder folder = runtimeFolder();
    if (folder.path.isEmpty()) {
        error_ = folder.error;
        return false;
    }
    return listen(command_protocol::socketPath(folder.path, QFileInfo(executablePath()).fileName(),
                                               QCoreApplication::applicationPid()));
}

bool CommandChannel::listen(const QString& path) {
    // A runtime folder too deep for a socket address is reached through a descriptor of it.
    auto socketPath = std::make_unique<UnixSocketPath>(QFile::encodeName(path));
    if (!socketPath->valid()) {
        error_ = QStringLiteral("cannot open the folder of %1").arg(path);
        return false;
    }
    const QString name = QFile::decodeName(socketPath->name());
    // No other running program has our pid, so a file of this name is a dead one's.
    QLocalServer::removeServer(name);
    if (!server_.listen(name)) {
        error_ = QStringLiteral("cannot listen at %1: %2").arg(path, server_.errorString());
        return false;
    }
    socketPath_ = std::move(socketPath);
    path_ = path;
    if (::chmod(QFile::encodeName(path).constData(), 0600) != 0) {
        error_ = QStringLiteral("cannot protect %1: %2").arg(path, qt_error_string(errno));
        server_.close();
        return false;
    }
    error_.clear();
    idleTimer.start();
    return true;
}

void CommandChannel::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections || !peerIsOwner(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* connection = new CommandConnection(socket, handler_, this);
        connections_.push_back(connection);
        connect(connection, &CommandConnection::finished, this,
                [this, connection] { forget(connection); });
    }
}

void CommandChannel::forget(CommandConnection* connection) {
    std::erase(connections_, connection);
    connection->deleteLater();
}

void CommandChannel::idleTimer_Timer() {
    // drop() ends a connection, which takes it off the list: walk a copy.
    const std::vector<CommandConnection*> current = connections_;
    for (CommandConnection* connection : current) {
        if (connection->idleSinceLastCheck())
            connection->drop();
    }
}
