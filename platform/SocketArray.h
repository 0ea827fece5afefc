#pragma once
// A session's socket array: element 0 exists from the start, further elements are loaded on
// demand and never unloaded. Each element's signals are re-emitted with its index first.
// Elements come from a factory, so tests can put doubles in.

#include "platform/Socket.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>

class SocketArray : public QObject {
    Q_OBJECT

public:
    using Factory = std::function<std::unique_ptr<Socket>()>;

    // The highest index an element may have.
    static constexpr int kMaxIndex = 32767;

    // Without a factory the elements are QtSockets.
    explicit SocketArray(Factory factory = {}, QObject* parent = nullptr);
    ~SocketArray() override;

    // Element i. An index that is not loaded gives an inert element whose calls all fail
    // with "element does not exist" (340) and which never emits.
    Socket& at(int i) const;
    Socket& operator()(int i) const { return at(i); }
    bool isLoaded(int i) const { return elements_.contains(i); }
    // Creates element i when needed and returns it; an index outside 0..kMaxIndex gives the
    // inert element.
    Socket& load(int i);
    // The highest loaded index.
    int maxIndex() const { return elements_.empty() ? 0 : elements_.rbegin()->first; }

signals:
    void error(int index, int number, QString description);
    void dataArrival(int index, qint64 bytes);
    void connected(int index);
    void connectionRequest(int index, int requestId);
    void closed(int index);
    void bytesSent(int index, qint64 bytes);
    void sendComplete(int index);

private:
    void forward(int index, Socket* element);

    Factory factory_;
    std::map<int, Socket*> elements_; // owned as children
    Socket* unloaded_;
};
