// Serial to network: bytes read from the serial port or the virtual port go through the
// serial-to-network buffer to the sockets. Reads take only what the buffer has room for, so a
// slow network holds the device back (through the port's flow control, or the pty) instead of
// losing bytes.
#include "model/GlobalSettings.h"
#include "model/Val.h"
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "platform/VirtualPort.h"
#include "session/SessionHeartbeat.h"
#include "session/frmDocument.h"

#include <QScopedValueRollback>

namespace {

constexpr int kConnected = 7;
constexpr int kDefaultPacketSize = 2000;

// A stored packet size below 1 cannot cut packets; it counts as the default.
int packetSize() {
    const int size = globals().PacketSize;
    return size >= 1 ? size : kDefaultPacketSize;
}

} // namespace

bool frmDocument::ignoresSerialInput() const {
    return (TCPOptionValue == 1 && options.ServerSerialOptions == 1) ||
           (TCPOptionValue == 0 && options.ClientOptions == 2);
}

bool frmDocument::AnyConnected() const {
    for (int i = 0; i <= MaxSocketIndex(); ++i) {
        if (Winsock1().at(i).State() == kConnected)
            return true;
    }
    return false;
}

// The connected sockets in sending order: all of them, or only the first for a server that
// sends to its first client only.
std::vector<int> frmDocument::fanOutTargets() const {
    std::vector<int> targets;
    for (int i = 0; i <= MaxSocketIndex(); ++i) {
        if (Winsock1().at(i).State() != kConnected)
            continue;
        targets.push_back(i);
        if (TCPOptionValue == 1 && options.ServerSerialOptions == 2)
            break;
    }
    return targets;
}

void frmDocument::MSComm1_OnComm() {
    lightUp(0);
    const int event = MSComm1().commEvent();
    if (event == SerialPort::EventDeviceGone) {
        serialDeviceGone();
        return;
    }
    if (ignoresSerialInput()) {
        MSComm1().setInBufferCount(0);
        return;
    }
    const bool anyConnected = AnyConnected();
    if (event != SerialPort::EventReceive)
        return;
    if (!UseUDP && BufferSerData->value() == 0 && !anyConnected) {
        MSComm1().setInBufferCount(0);
        return;
    }
    readSerialInput(anyConnected);
}

void frmDocument::VSPort1_DataReceived() {
    lightUp(0);
    // Bytes nobody will send are discarded, so that they do not hold the application back.
    if (ignoresSerialInput()) {
        VSPort1().purge();
        return;
    }
    readSerialInput(!UseUDP && AnyConnected());
}

// Moves what the port holds into the buffer and on to the network, as often as sending makes
// room; what still does not fit stays in the port.
void frmDocument::readSerialInput(bool anyConnected) {
    if (movingToNetwork_)
        return;
    QScopedValueRollback guard(movingToNetwork_, true);
    const bool waiting = WaitForCr->value() != 0;
    bool gotBytes = false;
    for (;;) {
        if (waiting)
            sendPackets(anyConnected);
        else
            sendHeldSerialBytes(anyConnected);
        if (readPortInto(MyBuffer.room()) == 0)
            break;
        gotBytes = true;
    }
    if (waiting && gotBytes)
        TxIdleTicks = 0;
    if (!MyBuffer.isEmpty())
        SessionHeartbeat::instance().wake();
}

int frmDocument::readPortInto(int room) {
    if (room <= 0)
        return 0;
    if (chkVPort->value() == 1) {
        const int size = qMin(VSPort1().bytesWaiting(), room);
        if (size <= 0)
            return 0;
        QByteArray bytes(size, Qt::Uninitialized);
        const int got = VSPort1().read(bytes.data(), size);
        return MyBuffer.append(bytes.constData(), got);
    }
    if (!MSComm1().portOpen() || MSComm1().inBufferCount() == 0)
        return 0;
    return MyBuffer.append(MSComm1().input(room));
}

// Without waiting: everything held goes out at once.
void frmDocument::sendHeldSerialBytes(bool anyConnected) {
    if (MyBuffer.isEmpty())
        return;
    if (UseUDP)
        sendOnUdp(MyBuffer.count());
    else if (BufferSerData->value() == 0 || anyConnected)
        fanOutSend(MyBuffer.count());
}

// Waiting for the timeout: only whole packets go out now; the rest waits for the timer.
void frmDocument::sendPackets(bool anyConnected) {
    const int packet = packetSize();
    if (UseUDP) {
        while (MyBuffer.count() >= packet)
            sendOnUdp(packet);
        return;
    }
    if (BufferSerData->value() != 0 && !anyConnected)
        return;
    while (MyBuffer.count() >= packet) {
        if (!fanOutSend(packet))
            break;
    }
}

// Sends up to size bytes from the front of the buffer to the fan-out targets. One target takes
// what its send queue has room for and the rest stays held (nothing is lost); several targets
// each get what fits, and a client whose queue is full misses the rest, so that one stalled
// client does not stall the others. With no target the bytes are sent to nobody (dropped).
// Returns whether any bytes left the buffer.
bool frmDocument::fanOutSend(int size) {
    const std::vector<int> targets = fanOutTargets();
    if (targets.size() == 1) {
        Socket& socket = Winsock1().at(targets.front());
        const int n = static_cast<int>(qMin<qint64>(size, socket.sendRoom()));
        if (n <= 0)
            return false;
        const QByteArray bytes = MyBuffer.peek(n);
        qint64 taken = 0;
        socket.SendData(bytes, &taken);
        MyBuffer.discard(static_cast<int>(taken));
        return taken > 0;
    }
    int n = size;
    const QByteArray bytes = MyBuffer.take(n);
    for (int index : targets) {
        qint64 taken = 0;
        Winsock1().at(index).SendData(bytes, &taken);
        noteSlowClient(index, bytes.size() - taken);
    }
    return n > 0;
}

void frmDocument::sendOnUdp(int size) {
    int n = size;
    const QByteArray bytes = MyBuffer.take(n);
    if (!bytes.isEmpty())
        Winsock1().at(0).SendData(bytes);
}

double frmDocument::timeoutValue() const {
    return Val(txtTimeoutValue->text());
}

// The heartbeat's flush of held bytes once no byte has come for longer than the timeout.
void frmDocument::transmitTimeoutStep() {
    ++TxIdleTicks;
    if (double(TxIdleTicks) * double(SessionHeartbeat::interval.count()) <= timeoutValue())
        return;
    if (UseUDP)
        sendOnUdp(MyBuffer.count());
    else if (AnyConnected())
        fanOutSend(MyBuffer.count()); // what a full send queue did not take stays held
    else if (BufferSerData->value() == 0)
        MyBuffer.clear();
    TxIdleTicks = 0;
}

// A socket took bytes off its send queue: send what is held and read on from the port.
void frmDocument::resumeSerialToNetwork() {
    if (!isActive() || UseUDP || ignoresSerialInput() || !AnyConnected())
        return;
    readSerialInput(true);
}
