#pragma once
// The events of a socket element, shared by the element (Socket) and the role that does its
// work while it is open (SocketRole), so that a role emits exactly what the element passes on.

#include <QObject>
#include <QString>

class SocketEvents : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // A listener's error (no descriptors left to take a connection) leaves it listening: it
    // takes the waiting connections as soon as it can, and its number is below 10000.
    void error(int number, QString description);
    void dataArrival(qint64 bytes);
    void connected();
    // Valid only while the signal is handled: Accept it then, or the connection is closed.
    void connectionRequest(int requestId);
    void closed();
    // Bytes leaving the send queue after SendData returned: room came back.
    void bytesSent(qint64 bytes);
    // Everything handed to SendData has reached the kernel.
    void sendComplete();
};
