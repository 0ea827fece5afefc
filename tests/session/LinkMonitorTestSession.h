#pragma once
// A session stand-in for the link monitor tests: a TCP server on 127.0.0.1 whose socket array
// accepts real loopback clients into elements 1 and up, as the session does.

#include "platform/SocketArray.h"
#include "session/LinkMonitor.h"
#include "tests/support/TestSupport.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

class ServerTestSession : public LinkMonitorSession {
public:
    ServerTestSession() {
        QObject::connect(&array, &SocketArray::connectionRequest, [this](int, int requestId) {
            Socket& element = array.load(freeIndex());
            element.Accept(requestId);
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
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, quint16(array.at(0).LocalPort()));
        waitUntil([&] { return connectedCount() == before + 1; });
        clients.push_back(std::move(client));
        return clients.back().get();
    }
    int connectedCount() const {
        int n = 0;
        for (int i = 1; i <= array.maxIndex(); ++i)
            n += array.at(i).State() == 7 ? 1 : 0;
        return n;
    }
    int freeIndex() const {
        for (int i = 1; i <= array.maxIndex(); ++i) {
            if (array.at(i).State() == 0)
                return i;
        }
        return array.maxIndex() + 1;
    }

    SocketArray array;
    bool active = true;
    std::vector<int> closed;
    QStringList log;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};
