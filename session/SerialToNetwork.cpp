#include "session/SerialToNetwork.h"

#include "model/GlobalSettings.h"
#include "platform/SerialPort.h"
#include "platform/Socket.h"
#include "session/NetworkSide.h"
#include "session/SerialSide.h"
#include "session/SessionHeartbeat.h"
#include "session/SessionSettings.h"
#include "session/StatusSink.h"

#include <QScopedValueRollback>
#include <algorithm>

namespace {

constexpr int kDefaultPacketSize = 2000;

// A stored packet size below 1 cannot cut packets; it counts as the default.
int packetSize() {
    const int size = globals().PacketSize;
    return size >= 1 ? size : kDefaultPacketSize;
}

} // namespace

// Bytes stay held while nobody is connected when buffering is on, and while a connection is
// being made for the application that wrote them.
bool SerialToNetwork::keepsWhileUnconnected() const {
    return settings_.bufferSerialData || network_.connectingForApplication();
}

// The connected sockets in sending order: all of them, or only the first for a server that
// sends to its first client only.
std::vector<int> SerialToNetwork::targets() const {
    return network_.connected(settings_.server && settings_.options.ServerSerialOptions == 2);
}

void SerialToNetwork::portEvent(int kind) {
    if (settings_.ignoresSerialInput()) {
        serial_.discardInput();
        return;
    }
    const bool anyConnected = network_.anyConnected();
    if (kind != SerialPort::EventReceive)
        return;
    if (!settings_.udp && !settings_.bufferSerialData && !anyConnected) {
        serial_.discardInput();
        return;
    }
    readAndSend(anyConnected);
}

void SerialToNetwork::virtualPortData() {
    // Bytes nobody will send are discarded, so that they do not hold the application back.
    if (settings_.ignoresSerialInput()) {
        serial_.discardInput();
        return;
    }
    readAndSend(!settings_.udp && network_.anyConnected());
}

// Moves what the port holds into the buffer and on to the network, as often as sending makes
// room; what still does not fit stays in the port.
void SerialToNetwork::readAndSend(bool anyConnected) {
    if (moving_)
        return;
    QScopedValueRollback guard(moving_, true);
    bool gotBytes = false;
    for (;;) {
        if (settings_.waitForTimeout)
            sendPackets(anyConnected);
        else
            sendHeld(anyConnected);
        if (serial_.readInto(buffer_) == 0)
            break;
        gotBytes = true;
    }
    if (settings_.waitForTimeout && gotBytes)
        txIdleTicks_ = 0;
    if (!buffer_.isEmpty())
        SessionHeartbeat::instance().wake();
}

// Without waiting: everything held goes out at once.
void SerialToNetwork::sendHeld(bool anyConnected) {
    if (buffer_.isEmpty())
        return;
    if (settings_.udp)
        sendOnUdp(buffer_.count());
    else if (anyConnected || !keepsWhileUnconnected())
        fanOut(buffer_.count());
}

// Waiting for the timeout: only whole packets go out now; the rest waits for the timer.
void SerialToNetwork::sendPackets(bool anyConnected) {
    const int packet = packetSize();
    if (!settings_.udp && !anyConnected && keepsWhileUnconnected())
        return;
    while (buffer_.count() >= packet) {
        if (!(settings_.udp ? sendOnUdp(packet) : fanOut(packet)))
            break;
    }
}

// Sends up to size bytes from the front of the buffer to every target, as many as all of them
// have room for, so that each gets the same bytes and none gets a hole; the rest stays held.
// With no target the bytes go to nobody (they are dropped). Returns whether bytes left.
bool SerialToNetwork::fanOut(int size) {
    const std::vector<int> to = targets();
    if (to.empty()) {
        buffer_.discard(size);
        return size > 0;
    }
    // Framing only adds bytes, so the plain send room bounds what is looked at.
    qint64 room = size;
    for (int index : to)
        room = std::min(room, network_.socket(index).sendRoom());
    if (room <= 0)
        return false;
    QByteArray bytes = buffer_.peek(int(room));
    for (int index : to)
        room = std::min(room, network_.room(index, bytes));
    if (room <= 0)
        return false;
    bytes.truncate(room);
    for (int index : to)
        network_.send(index, bytes);
    buffer_.discard(int(room));
    return true;
}

// One datagram, whole: a socket that holds earlier ones and has no room for it takes nothing,
// and the bytes wait here until it reports bytesSent. One that cannot be sent at all (nobody
// to answer yet, a network that refuses it) is dropped by the socket; the first of a run of
// such failures is logged.
bool SerialToNetwork::sendOnUdp(int size) {
    Socket& socket = network_.socket(0);
    if (size <= 0 || socket.sendRoom() <= 0)
        return false;
    qint64 taken = 0;
    const ComponentResult result = socket.SendData(buffer_.peek(size), &taken);
    buffer_.discard(int(taken));
    if (!result && !udpSendFailing_)
        sink_.logError(QStringLiteral("Datagram not sent: %1").arg(result.description));
    udpSendFailing_ = !result;
    return taken > 0;
}

bool SerialToNetwork::sendAll() {
    return settings_.udp ? sendOnUdp(buffer_.count()) : fanOut(buffer_.count());
}

// Held bytes go out once no byte has come for longer than the timeout; with nobody connected
// they are dropped unless they are to be kept.
void SerialToNetwork::timeoutStep() {
    ++txIdleTicks_;
    network_.checkStalls(targets(), !buffer_.isEmpty());
    if (double(txIdleTicks_) * double(SessionHeartbeat::interval.count()) <= settings_.timeoutMs)
        return;
    if (settings_.udp || network_.anyConnected())
        sendAll();
    else if (!keepsWhileUnconnected())
        buffer_.clear();
    txIdleTicks_ = 0;
}

void SerialToNetwork::resume() {
    if (settings_.ignoresSerialInput())
        return;
    const bool anyConnected = network_.anyConnected();
    if (!settings_.udp && !anyConnected)
        return;
    readAndSend(anyConnected);
}

void SerialToNetwork::dropHeldForConnect() {
    if (buffer_.isEmpty() || settings_.bufferSerialData)
        return;
    sink_.logError(
        QStringLiteral("The connection was not made: %1 bytes the application wrote are dropped")
            .arg(buffer_.count()));
    buffer_.clear();
    // The application may have more waiting; it goes the way of unconnected input now.
    readAndSend(false);
}

bool SerialToNetwork::needsTicks() const {
    return !buffer_.isEmpty() &&
           (settings_.udp || network_.anyConnected() || !keepsWhileUnconnected());
}
