#pragma once
// A server session for the link monitor: a real socket array on 127.0.0.1 that accepts clients
// into the first free element from 1 up; it records what the monitor closes and logs.

#include "platform/SocketArray.h"
#include "session/LinkMonitor.h"
#include "tests/support/TestSupport.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpSocket>
#include <memory>
#include <vector>

class ServerTestSession : public LinkMonitorSession {
public:
    ServerTestSession() {
        QObject::connect(&array, &SocketArray::connectionRequest, [this](int, int requestId) {
            int free = 1;
            while (free <= array.maxIndex() && array.at(free).State() != 0)
                ++free;
            array.load(free).Accept(requestId);
        });
        array.at(0).Bind(0, QStringLiteral("127.0.0.1"));
        array.at(0).Listen();
    }
    bool monitorActive() const override { return active; }
    int maxSocketIndex() const override { return array.maxIndex(); }
    Socket& socket(int index) override { return array.at(index); }
    void closeSocket(int index) override {
        closed.push_back(index);
        array.at(index).Close();
    }
    void logError(const QString& description) override { log << description; }

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

    SocketArray array;
    bool active = true;
    std::vector<int> closed;
    QStringList log;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};
