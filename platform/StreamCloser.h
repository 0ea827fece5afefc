#pragma once
// Ends a TCP connection that its element has let go of, without losing what was sent.
//
// Closing a socket that still has unread input makes the kernel answer with a reset, and a
// peer that receives a reset throws away what it has not read yet: the last bytes we sent.
// So the closer lets Qt hand its unsent bytes to the kernel, shuts down only the sending side
// (the peer reads everything, then the end), and reads and discards what the peer still sends
// until the peer closes too. A peer that does neither within the linger limit is reset, so
// that it cannot hold the connection for ever.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

class QTcpSocket;

class StreamCloser final : public QObject {
    Q_OBJECT

public:
    // Takes the connection; the closer deletes itself (and it) when the connection is over.
    static void close(std::unique_ptr<QTcpSocket> socket, std::chrono::milliseconds lingerLimit);

private:
    StreamCloser(std::unique_ptr<QTcpSocket> socket, std::chrono::milliseconds lingerLimit);
    ~StreamCloser() override;

    void shutDownSendingWhenFlushed();
    void discardInput();
    void reset();
    void finish();

    std::unique_ptr<QTcpSocket> socket_;
    QTimer lingerTimer_;
    bool finished_ = false;
};
