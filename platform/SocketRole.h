#pragma once
// What a socket element is while it is open: a TCP stream, a TCP listener or a UDP endpoint.
// The element holds one role at a time and forwards its calls and events; a call that does not
// fit the role fails with "wrong state". Roles emit the element's own events, and emit nothing
// once closed.

#include "platform/ComponentResult.h"
#include "platform/Socket.h"
#include "platform/SocketEvents.h"
#include "platform/WinsockErrors.h"

#include <QHostAddress>
#include <chrono>

class SocketRole : public SocketEvents {
    Q_OBJECT

public:
    using SocketEvents::SocketEvents;

    virtual Socket::States state() const = 0;
    virtual int localPort() const = 0;
    // The peer of a stream, or the last sender of datagrams; null when there is none.
    virtual QHostAddress peerAddress() const { return {}; }
    virtual int peerPort() const { return 0; }

    // Takes what the role can hold within sendLimit unsent bytes; see Socket::SendData.
    virtual ComponentResult send(const QByteArray& /*data*/, qint64 /*sendLimit*/,
                                 qint64* /*taken*/) {
        return winsockFailure(WsaWrongState);
    }
    virtual QByteArray read(qint64 /*maxBytes*/) { return {}; }
    virtual qint64 bytesToSend() const { return 0; }
    virtual qint64 bytesAvailable() const { return 0; }
    virtual bool peerHasLeft() const { return false; }
    virtual void setReadLimit(qint64 /*bytes*/) {}

    // Lets go of the descriptor now, so that its port is free at once; a stream may still
    // deliver what it was given for up to lingerLimit. The object itself is deleted later by
    // its owner, through the event loop (the call may come from inside one of its signals).
    virtual void close(std::chrono::milliseconds lingerLimit) = 0;
};
