#pragma once
// Plain Qt sockets on 127.0.0.1 that play the other end of a socket element in the tests.

#include "platform/QtSocket.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <memory>
#include <sys/socket.h>

inline const QString kLoopback = QStringLiteral("127.0.0.1");

class PeerServer {
public:
    PeerServer() { server_.listen(QHostAddress::LocalHost, 0); }
    int port() const { return server_.serverPort(); }
    QTcpSocket* nextConnection() {
        waitUntil([this] { return server_.hasPendingConnections(); });
        return server_.nextPendingConnection();
    }

private:
    QTcpServer server_;
};

// A port on 127.0.0.1 on which nothing listens (bound once, then released).
inline int unusedTcpPort() {
    return PeerServer().port();
}

inline std::unique_ptr<QTcpSocket> connectedPeer(int port) {
    auto peer = std::make_unique<QTcpSocket>();
    peer->connectToHost(QHostAddress::LocalHost, quint16(port));
    waitUntil([&] { return peer->state() == QAbstractSocket::ConnectedState; });
    return peer;
}

// This process's socket that runs from localPort to peerPort, found in its descriptor table
// (the element does not show its descriptors); -1 when there is none.
inline int descriptorOf(int localPort, int peerPort) {
    const auto portOf = [](int fd, auto query) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        const bool inet = query(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
                          address.sin_family == AF_INET;
        return inet ? int(ntohs(address.sin_port)) : -1;
    };
    const QStringList fds = QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : fds) {
        const int fd = name.toInt();
        if (portOf(fd, ::getsockname) == localPort && portOf(fd, ::getpeername) == peerPort)
            return fd;
    }
    return -1;
}

inline QByteArray readUntil(QTcpSocket& peer, qsizetype total) {
    QByteArray got;
    waitUntil(
        [&] {
            got += peer.readAll();
            return got.size() >= total;
        },
        std::chrono::seconds(20));
    return got;
}

// Bytes 0..n-1 of a recognisable pattern, so that lost or reordered bytes show.
inline QByteArray patternBytes(qsizetype n) {
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

inline void aimAt(QtSocket& element, const QString& host, int port) {
    element.setRemoteHost(host);
    element.setRemotePort(port);
}

inline ComponentResult connectTo(QtSocket& element, const QString& host, int port) {
    aimAt(element, host, port);
    return element.Connect();
}

inline void udpBound(QtSocket& element) {
    element.setProtocol(1);
    element.Bind(0, kLoopback);
}

// A TCP element connected to a PeerServer, with the server's end at hand.
struct ClientPair {
    PeerServer server;
    QtSocket element;
    QTcpSocket* peer = nullptr;

    bool open() {
        peer = connectTo(element, kLoopback, server.port()) ? server.nextConnection() : nullptr;
        return peer && waitUntil([&] { return element.State() == 7; });
    }
};
