#include "app/CommandConnection.h"

#include "app/CommandProtocol.h"

#include <QLocalSocket>
#include <QPointer>
#include <QStringDecoder>

namespace {

using namespace command_protocol;

// What Qt may buffer from the client before the line bound is checked.
constexpr qint64 kReadBuffer = 16 * 1024LL;
// Answers a client may leave unread before it counts as stuck.
constexpr qint64 kMaxUnsent = 64 * 1024LL;

QByteArray refusal(const char* reason) {
    return QByteArray(kRefused) + '\t' + reason;
}

bool hasControlCharacters(const QString& text) {
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

} // namespace

CommandConnection::CommandConnection(QLocalSocket* socket, const CommandHandler& handler,
                                     QObject* parent)
    : QObject(parent)
    , socket_(socket)
    , handler_(handler) {
    socket_->setParent(this);
    socket_->setReadBufferSize(kReadBuffer);
    connect(socket_, &QLocalSocket::readyRead, this, &CommandConnection::readRequests);
    connect(socket_, &QLocalSocket::disconnected, this, &CommandConnection::end);
    connect(socket_, &QLocalSocket::errorOccurred, this, [this] {
        if (socket_->state() == QLocalSocket::UnconnectedState)
            end();
    });
    // Bytes that came with the connection are read once the channel listens to finished().
    QMetaObject::invokeMethod(this, &CommandConnection::readRequests, Qt::QueuedConnection);
}

bool CommandConnection::idleSinceLastCheck() {
    if (busy_)
        return false;
    const bool wasQuiet = quiet_;
    quiet_ = true;
    return wasQuiet;
}

void CommandConnection::drop() {
    closing_ = true;
    socket_->abort();
    end();
}

void CommandConnection::end() {
    if (finished_)
        return;
    finished_ = true;
    closing_ = true;
    emit finished();
}

void CommandConnection::readRequests() {
    const QByteArray data = socket_->readAll();
    if (closing_)
        return;
    pending_ += data;
    // A handler that runs an event loop of its own may bring more data here; the loop
    // below answers it once the handler returns, keeping the answers in order.
    if (!busy_)
        answerLines();
}

void CommandConnection::answerLines() {
    const QPointer<CommandConnection> alive(this);
    busy_ = true;
    while (!closing_) {
        const qsizetype end = pending_.indexOf('\n');
        if (end < 0 ? pending_.size() >= kMaxLine : end >= kMaxLine) {
            refuseAndClose("line too long");
            break;
        }
        if (end < 0)
            break;
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        quiet_ = false;
        const QByteArray answer = answerFor(line);
        if (!alive)
            return; // the handler ended the program's channel
        send(answer);
    }
    busy_ = false;
}

QByteArray CommandConnection::answerFor(QByteArray line) const {
    if (line.endsWith('\r'))
        line.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(line);
    if (decoder.hasError())
        return refusal("not UTF-8");
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0 || hasControlCharacters(text))
        return refusal("malformed request");
    switch (handler_(text.left(tab), text.mid(tab + 1))) {
    case CommandReply::Accepted:
        return kAccepted;
    case CommandReply::Refused:
        return kRefused;
    case CommandReply::NoSuchTopic:
        break;
    }
    return refusal(kNoSuchTopic);
}

void CommandConnection::send(const QByteArray& line) {
    if (closing_)
        return;
    socket_->write(line + '\n');
    // Out now, not at the next turn of the event loop: a client that has finished writing
    // (shutdown, as "printf ... | socat" does) makes the socket close at the next read.
    socket_->flush();
    if (socket_->bytesToWrite() > kMaxUnsent)
        drop();
}

void CommandConnection::refuseAndClose(const char* reason) {
    send(refusal(reason));
    closing_ = true;
    pending_.clear();
    // Sends what is queued, then closes; reading has stopped.
    socket_->disconnectFromServer();
}
