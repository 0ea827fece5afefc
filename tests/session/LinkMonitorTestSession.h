#pragma once
// Session stand-ins for the link monitor tests, over a real socket array on 127.0.0.1.

#include "platform/SocketArray.h"
#include "session/LinkMonitor.h"
#include "tests/support/TestSupport.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

// Records what the monitor closes and logs.
class ArrayTestSession : public LinkMonitorSession {
public:
    bool monitorActive() const override { return active; }
    int maxSocketIndex() const override { return array.maxIndex(); }
    Socket& socket(int index) override { return array.at(index); }
    void closeSocket(int index) override {
        closed.push_back(index);
        array.at(index).Close();
    }
    void logError(const QString& description) override { log << description; }

    SocketArray array;
    bool active = true;
    std::vector<int> closed;
    QStringList log;
};

// A TCP server whose array accepts real loopback clients into elements 1 and up, as the
// session does.
class ServerTestSession : public ArrayTestSession {
public:
    ServerTestSession() {
        QObject::connect(&array, &SocketArray::connectionRequest,
                         [this](int, int requestId) { array.load(freeIndex()).Accept(requestId); });
        array.at(0).Bind(0, QStringLiteral("127.0.0.1"));
        array.at(0).Listen();
    }
    // Connects one more loopback client and waits until the array holds it.
    QTcpSocket* connectClient() {
        const int before = connectedCount();
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, quint16(array.at(0).LocalPort()));
        waitUntil([&] { return connectedCount() == before + 1; });
        return clients.back().get();
    }
    int connectedCount() const {
        int n = 0;
        for (int i = 1; i <= array.maxIndex(); ++i)
            n += array.at(i).State() == 7 ? 1 : 0;
        return n;
    }
    int freeIndex() const {
        int i = 1;
        while (i <= array.maxIndex() && array.at(i).State() != 0)
            ++i;
        return i;
    }

    std::vector<std::unique_ptr<QTcpSocket>> clients;
};
