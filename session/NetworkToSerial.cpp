// Network to serial: bytes received on the sockets go through the network-to-serial buffer to
// the serial port or the virtual port. A socket gives only what the buffer has room for, so a
// slow port holds the TCP sender back instead of losing bytes. The output step runs on every
// heartbeat tick, and also at once when bytes arrive and when the port has room again.
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "platform/VirtualPort.h"
#include "session/SessionHeartbeat.h"
#include "session/frmDocument.h"

#include <QScopedValueRollback>
#include <algorithm>

namespace {
constexpr int kConnected = 7;
constexpr int kUdp = 1;
} // namespace

void frmDocument::Winsock1_DataArrival(int index) {
    linkMonitor_.dataArrived();
    lightUp(1);
    takeNetworkInput(index);
    moveNetworkToSerial();
}

bool frmDocument::dropsNetworkInput(int index) const {
    if ((TCPOptionValue == 1 && options.ServerTCPOptions == 1) ||
        (TCPOptionValue == 0 && options.ClientOptions == 1))
        return true;
    if (UseUDP || TCPOptionValue != 1 || options.ServerTCPOptions != 2)
        return false;
    for (int i = 1; i <= MaxSocketIndex(); ++i) {
        if (Winsock1().at(i).State() == kConnected)
            return index != i;
    }
    return true;
}

void frmDocument::takeNetworkInput(int index) {
    Socket& socket = Winsock1().at(index);
    if (dropsNetworkInput(index)) {
        while (socket.bytesAvailable() > 0 && !socket.GetData().isEmpty()) {
        }
        return;
    }
    if (socket.Protocol() == kUdp) {
        // A datagram that does not fit is dropped whole, as UDP does; the sender cannot be
        // held back.
        while (socket.bytesAvailable() > 0) {
            const QByteArray datagram = socket.GetData();
            if (datagram.isEmpty())
                break;
            if (datagram.size() > SerialOutBuffer.room()) {
                ++drops_.udpDatagrams;
                drops_.udpBytes += datagram.size();
                continue;
            }
            SerialOutBuffer.append(datagram);
        }
        return;
    }
    const int room = SerialOutBuffer.room();
    if (room > 0)
        SerialOutBuffer.append(socket.GetData(room));
}

// Hands the buffer to the port as far as the port takes it.
void frmDocument::SerialOutputStep() {
    const int n = SerialOutBuffer.count();
    if (n == 0)
        return;
    if (chkVPort->value() == 1) {
        if (VSPort1().isOpenedByApp()) {
            // What the pty does not take stays in the buffer until the pty has room again.
            while (!SerialOutBuffer.isEmpty() && !virtualPortFull_) {
                const QByteArray span = SerialOutBuffer.frontSpan();
                const int written = VSPort1().write(span.constData(), int(span.size()));
                SerialOutBuffer.discard(written);
                virtualPortFull_ = written < span.size();
            }
        } else if (BufferSerData->value() == 0) {
            SerialOutBuffer.clear();
        }
        return;
    }
    SerialPort& serial = MSComm1();
    if (!serial.portOpen())
        return;
    // The port takes what its transmit queue has room for; offered more, it tells when it has
    // room again.
    while (!SerialOutBuffer.isEmpty()) {
        const QByteArray span = SerialOutBuffer.frontSpan();
        int taken = 0;
        serial.output(span, &taken);
        SerialOutBuffer.discard(taken);
        if (taken < span.size())
            break;
    }
}

// The output step, then more from sockets that still hold bytes, for as long as both move.
void frmDocument::moveNetworkToSerial() {
    // The port may report room from inside a hand-over: that asks for one more round.
    if (movingToSerial_) {
        moveToSerialAgain_ = true;
        return;
    }
    {
        QScopedValueRollback guard(movingToSerial_, true);
        do {
            moveToSerialAgain_ = false;
            do {
                SerialOutputStep();
            } while (SerialOutBuffer.room() > 0 && pullWaitingNetworkInput());
        } while (moveToSerialAgain_);
    }
    // A peer that closed while its bytes were held back is closed once they are all taken.
    std::vector<int> drained;
    for (int index : closeAfterDrain_) {
        if (Winsock1().at(index).bytesAvailable() == 0)
            drained.push_back(index);
    }
    for (int index : drained) {
        std::erase(closeAfterDrain_, index);
        Winsock1_Close(index);
    }
    if (!SerialOutBuffer.isEmpty())
        SessionHeartbeat::instance().wake();
}

bool frmDocument::pullWaitingNetworkInput() {
    bool pulled = false;
    for (int i = 0; i <= MaxSocketIndex() && SerialOutBuffer.room() > 0; ++i) {
        Socket& socket = Winsock1().at(i);
        if (socket.bytesAvailable() == 0)
            continue;
        const int before = SerialOutBuffer.count();
        takeNetworkInput(i);
        pulled = pulled || SerialOutBuffer.count() > before;
    }
    return pulled;
}
