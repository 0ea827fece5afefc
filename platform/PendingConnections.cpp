#include "platform/PendingConnections.h"

#include <limits>

int PendingConnections::nextId_ = 1;

std::map<int, std::unique_ptr<QTcpSocket>>& PendingConnections::held() {
    static std::map<int, std::unique_ptr<QTcpSocket>> connections;
    return connections;
}

int PendingConnections::add(std::unique_ptr<QTcpSocket> connection) {
    const int id = nextId_;
    nextId_ = nextId_ == std::numeric_limits<int>::max() ? 1 : nextId_ + 1;
    held()[id] = std::move(connection);
    return id;
}

std::unique_ptr<QTcpSocket> PendingConnections::take(int requestId) {
    auto it = held().find(requestId);
    if (it == held().end())
        return nullptr;
    auto connection = std::move(it->second);
    held().erase(it);
    return connection;
}
