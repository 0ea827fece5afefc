#include "platform/SocketArray.h"

#include "platform/QtSocket.h"
#include "platform/WinsockErrors.h"

namespace {

// Stands for an element that was never loaded: every call fails, nothing is ever emitted.
class UnloadedSocket final : public Socket {
public:
    using Socket::Socket;

    int RemotePort() const override { return 0; }
    ComponentResult setRemotePort(int) override { return missing(); }
    int LocalPort() const override { return 0; }
    ComponentResult setLocalPort(int) override { return missing(); }
    int Protocol() const override { return 0; }
    ComponentResult setProtocol(int) override { return missing(); }
    QString RemoteHost() const override { return {}; }
    ComponentResult setRemoteHost(const QString&) override { return missing(); }
    QString RemoteHostIP() const override { return {}; }
    QString LocalIP() const override { return {}; }
    int State() const override { return static_cast<int>(States::Closed); }
    ComponentResult Connect() override { return missing(); }
    ComponentResult Listen() override { return missing(); }
    ComponentResult Accept(int) override { return missing(); }
    ComponentResult SendData(const QByteArray&, qint64* taken) override {
        if (taken)
            *taken = 0;
        return missing();
    }
    QByteArray GetData(qint64) override { return {}; }
    using Socket::GetData;
    ComponentResult Close() override { return missing(); }
    ComponentResult Bind(int, const QString&) override { return missing(); }
    qint64 bytesToSend() const override { return 0; }
    qint64 bytesAvailable() const override { return 0; }
    void setSendLimit(qint64) override {}
    qint64 sendRoom() const override { return 0; }

private:
    static ComponentResult missing() { return winsockFailure(WsaNoSuchElement); }
};

} // namespace

SocketArray::SocketArray(Factory factory, QObject* parent)
    : QObject(parent)
    , factory_(factory ? std::move(factory) : [] { return std::make_unique<QtSocket>(); })
    , unloaded_(new UnloadedSocket(this)) {
    load(0);
}

SocketArray::~SocketArray() = default;

Socket& SocketArray::at(int i) const {
    const auto it = elements_.find(i);
    return it == elements_.end() ? *unloaded_ : *it->second;
}

Socket& SocketArray::load(int i) {
    if (i < 0 || i > kMaxIndex)
        return *unloaded_;
    if (const auto it = elements_.find(i); it != elements_.end())
        return *it->second;
    std::unique_ptr<Socket> made = factory_();
    if (!made)
        return *unloaded_;
    Socket* element = made.release();
    element->setParent(this);
    elements_[i] = element;
    forward(i, element);
    return *element;
}

void SocketArray::forward(int index, Socket* element) {
    connect(element, &Socket::error, this,
            [this, index](int number, const QString& text) { emit error(index, number, text); });
    connect(element, &Socket::dataArrival, this,
            [this, index](qint64 bytes) { emit dataArrival(index, bytes); });
    connect(element, &Socket::connected, this, [this, index] { emit connected(index); });
    connect(element, &Socket::connectionRequest, this,
            [this, index](int requestId) { emit connectionRequest(index, requestId); });
    connect(element, &Socket::closed, this, [this, index] { emit closed(index); });
    connect(element, &Socket::bytesSent, this,
            [this, index](qint64 bytes) { emit bytesSent(index, bytes); });
    connect(element, &Socket::sendComplete, this, [this, index] { emit sendComplete(index); });
}
