#pragma once
// Connections a listening element has accepted from the kernel and announced by request id,
// waiting until an element (any one: whichever Accept names the id) takes them.
// Ids are never reused, so a stale id cannot pick up someone else's connection.

#include <QTcpSocket>
#include <map>
#include <memory>

class PendingConnections {
public:
    // Holds the connection and returns its request id (always > 0).
    static int add(std::unique_ptr<QTcpSocket> connection);
    // The connection with that id, or null when there is none (already taken, or never was).
    static std::unique_ptr<QTcpSocket> take(int requestId);

private:
    static std::map<int, std::unique_ptr<QTcpSocket>>& held();
    static int nextId_;
};
