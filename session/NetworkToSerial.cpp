#include "session/NetworkToSerial.h"

#include "platform/Socket.h"
#include "session/NetworkSide.h"
#include "session/SerialSide.h"
#include "session/SessionHeartbeat.h"
#include "session/SessionSettings.h"
#include "session/StatusSink.h"

#include <QScopedValueRollback>

namespace {
constexpr int kUdp = static_cast<int>(Socket::Protocols::Udp);
}

void NetworkToSerial::dataArrival(int index) {
    takeInput(index);
    move();
}

// A server that takes from its first client only drops the others' bytes; a first client
// whose peer closed stays first until everything it sent has been taken.
bool NetworkToSerial::dropsInputOf(int index) const {
    if (settings_.ignoresNetworkInput())
        return true;
    if (settings_.udp || !settings_.server || settings_.options.ServerTCPOptions != 2)
        return false;
    return index != network_.firstClient();
}

void NetworkToSerial::takeInput(int index) {
    Socket& socket = network_.socket(index);
    ComPortLink* comPort = network_.comPort(index);
    if (dropsInputOf(index)) {
        // A COM port client's commands are still heard; only its data is dropped.
        while (socket.bytesAvailable() > 0 && !(comPort && comPort->answersWaiting())) {
            const QByteArray bytes = socket.GetData();
            if (bytes.isEmpty())
                break;
            if (comPort)
                comPort->receive(bytes);
        }
        return;
    }
    if (socket.Protocol() == kUdp) {
        takeDatagrams(socket);
        return;
    }
    // Telnet framing only shrinks what it takes, and a lone IAC held back from the last read
    // is counted: the data fits in the room it was read for.
    const qint64 room = comPort ? comPort->inputRoom(buffer_.room()) : buffer_.room();
    if (room <= 0)
        return;
    const QByteArray bytes = socket.GetData(room);
    buffer_.append(comPort ? comPort->receive(bytes) : bytes);
}

// A datagram that does not fit is dropped whole, as UDP does: its sender cannot be held back.
// The first of a run is logged at once, the whole count once one fits again.
void NetworkToSerial::takeDatagrams(Socket& socket) {
    while (socket.bytesAvailable() > 0) {
        const QByteArray datagram = socket.GetData();
        if (datagram.isEmpty())
            break;
        if (datagram.size() > buffer_.room()) {
            if (droppedDatagrams_++ == 0)
                sink_.logError(QStringLiteral("A datagram of %1 bytes was dropped: the serial "
                                              "side does not take bytes as fast as they come")
                                   .arg(datagram.size()));
            continue;
        }
        if (droppedDatagrams_ > 1)
            sink_.logError(
                QStringLiteral("%1 datagrams were dropped in all").arg(droppedDatagrams_));
        droppedDatagrams_ = 0;
        buffer_.append(datagram);
    }
}

// Hands the buffer to the port as far as the port takes it. A virtual port that no
// application holds drops the bytes unless buffering keeps them.
void NetworkToSerial::outputStep() {
    if (buffer_.isEmpty())
        return;
    if (!serial_.takesOutput()) {
        if (serial_.isVirtual() && !settings_.bufferSerialData)
            buffer_.clear();
        return;
    }
    while (!buffer_.isEmpty() && !portFull_) {
        const QByteArray span = buffer_.frontSpan();
        const int taken = serial_.write(span);
        buffer_.discard(taken);
        portFull_ = taken < span.size();
    }
}

void NetworkToSerial::move() {
    // The port may report room from inside a hand-over: that asks for one more round.
    if (moving_) {
        moveAgain_ = true;
        return;
    }
    {
        QScopedValueRollback guard(moving_, true);
        do {
            moveAgain_ = false;
            do {
                outputStep();
            } while (buffer_.room() > 0 && pullWaitingInput());
        } while (moveAgain_);
    }
    network_.closeDrained();
    if (needsTicks())
        SessionHeartbeat::instance().wake();
}

void NetworkToSerial::portHasRoom() {
    portFull_ = false;
    move();
}

void NetworkToSerial::tick() {
    portFull_ = false; // at the latest now, look again whether the port takes bytes
    move();
}

bool NetworkToSerial::needsTicks() const {
    return !buffer_.isEmpty() && serial_.takesOutput();
}

bool NetworkToSerial::pullWaitingInput() {
    bool pulled = false;
    for (int i = 0; i <= network_.maxSocketIndex() && buffer_.room() > 0; ++i) {
        if (network_.socket(i).bytesAvailable() == 0)
            continue;
        const int before = buffer_.count();
        takeInput(i);
        pulled = pulled || buffer_.count() > before;
    }
    return pulled;
}
