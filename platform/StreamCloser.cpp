#include "platform/StreamCloser.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <sys/socket.h>

void StreamCloser::close(std::unique_ptr<QTcpSocket> socket,
                         std::chrono::milliseconds lingerLimit) {
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket.release()->deleteLater();
        return;
    }
    // Owned by the application, so that a closer still running at exit is freed with it.
    new StreamCloser(std::move(socket), lingerLimit);
}

StreamCloser::StreamCloser(std::unique_ptr<QTcpSocket> socket,
                           std::chrono::milliseconds lingerLimit)
    : QObject(QCoreApplication::instance())
    , socket_(std::move(socket)) {
    // Input is thrown away as it comes, so Qt may read all the kernel has.
    socket_->setReadBufferSize(0);
    QTcpSocket* s = socket_.get();
    connect(s, &QIODevice::bytesWritten, this, &StreamCloser::shutDownSendingWhenFlushed);
    connect(s, &QIODevice::readyRead, this, &StreamCloser::discardInput);
    connect(s, &QAbstractSocket::disconnected, this, &StreamCloser::finish);
    connect(s, &QAbstractSocket::errorOccurred, this, &StreamCloser::finish);
    lingerTimer_.setSingleShot(true);
    connect(&lingerTimer_, &QTimer::timeout, this, &StreamCloser::reset);
    lingerTimer_.start(lingerLimit);
    discardInput();
    shutDownSendingWhenFlushed();
}

StreamCloser::~StreamCloser() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void StreamCloser::shutDownSendingWhenFlushed() {
    if (socket_->bytesToWrite() == 0)
        ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
}

void StreamCloser::discardInput() {
    socket_->readAll();
}

// Past the limit the connection is reset, so that what the kernel still holds for a peer that
// reads nothing is dropped too.
void StreamCloser::reset() {
    const linger hard{1, 0};
    ::setsockopt(int(socket_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket_->abort();
    finish();
}

void StreamCloser::finish() {
    if (std::exchange(finished_, true))
        return;
    lingerTimer_.stop();
    deleteLater();
}
