// The connections between activation and deactivation: the client's connection and its
// reconnection every 5 s, the server's clients in the socket array, closes and errors, and
// the serial device that goes away and is opened again.
#include "model/Val.h"
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "session/SessionTexts.h"
#include "session/frmDocument.h"
#include "text/StringTable.h"

#include <QScopedValueRollback>
#include <cmath>

using namespace SessionText;

namespace {
constexpr int kClosed = 0;
constexpr int kSocketLayerErrors = 10000;
} // namespace

QString frmDocument::clientCountText() const {
    return LoadResString(TcpIpStatus) + QStringLiteral(" (") + QString::number(ConnectedClients) +
           QStringLiteral(")") + LoadResString(Connected);
}

void frmDocument::Winsock1_Connect(int) {
    Timer1.stop();
    setStatus(1, statusText(TcpIpStatus, Connected));
}

void frmDocument::Winsock1_ConnectionRequest(int, int requestId) {
    if (options.AllowMultiConnect == 0 && ConnectedClients != 0)
        return;
    if (TCPOptionValue != 1)
        return;
    ++ConnectedClients;
    int chosen = 0;
    for (int i = 1; i <= MaxSocketIndex(); ++i) {
        if (Winsock1().at(i).State() == kClosed) {
            chosen = i;
            break;
        }
    }
    if (chosen == 0)
        chosen = MaxSocketIndex() + 1;
    Socket& client = Winsock1().load(chosen);
    client.setLocalPort(Winsock1().at(0).LocalPort());
    client.setSendLimit(MyBuffer.capacity());
    client.Accept(requestId);
    setStatus(1, clientCountText());
}

// The peer closed. Bytes it sent that are still held back in the socket are moved on first.
void frmDocument::onSocketClosed(int index) {
    if (Winsock1().at(index).bytesAvailable() > 0) {
        if (std::find(closeAfterDrain_.begin(), closeAfterDrain_.end(), index) ==
            closeAfterDrain_.end())
            closeAfterDrain_.push_back(index);
        moveNetworkToSerial();
        return;
    }
    Winsock1_Close(index);
}

void frmDocument::Winsock1_Close(int index) {
    if (closing_)
        return;
    QScopedValueRollback guard(closing_, true);
    std::erase(closeAfterDrain_, index);
    std::erase(stalledClients_, index);
    Winsock1().at(index).Close();
    ConnectedClients = std::max(ConnectedClients - 1, 0L);
    if (TCPOptionValue == 1) {
        setStatus(1,
                  ConnectedClients != 0 ? clientCountText() : statusText(TcpIpStatus, Listening));
    } else {
        setStatus(1, statusText(TcpIpStatus, Closed));
        Timer1.start();
    }
}

void frmDocument::Winsock1_Error(int index, int number, const QString& description) {
    setStatus(1, statusText(TcpIpStatus, Error));
    LogErrors(description);
    if (number > kSocketLayerErrors)
        Winsock1_Close(index);
}

void frmDocument::Timer1_Timer() {
    if (UseUDP)
        return;
    Socket& socket = Winsock1().at(0);
    ComponentResult result = socket.setRemoteHost(IPAddress->text());
    if (result)
        result = socket.setRemotePort(static_cast<int>(std::nearbyint(Val(PortNumber->text()))));
    if (result) {
        setStatus(1, statusText(TcpIpStatus, Connecting));
        result = socket.Connect();
    }
    if (result)
        return;
    socket.Close();
    socket.setRemoteHost(QString());
    socket.setRemotePort(0);
    setStatus(1, statusText(TcpIpStatus, ErrorDash) + QLatin1Char(' ') + result.description);
    LogErrors(result.description);
}

// A client whose send queue is full misses bytes while the others go on; the first miss of
// each stall is logged with its address. The stall is over once the client has caught up.
void frmDocument::noteSlowClient(int index, qint64 missed) {
    const auto it = std::find(stalledClients_.begin(), stalledClients_.end(), index);
    if (missed <= 0) {
        if (it != stalledClients_.end() && Winsock1().at(index).bytesToSend() == 0)
            stalledClients_.erase(it);
        return;
    }
    drops_.slowClientBytes += missed;
    if (it != stalledClients_.end())
        return;
    stalledClients_.push_back(index);
    LogErrors(QStringLiteral("Client %1 is not taking data: bytes dropped for it")
                  .arg(Winsock1().at(index).RemoteHostIP()));
}

// A device that went away (an adapter pulled out) is opened again every 5 s while the session
// is active; the network side stays as it is meanwhile.
void frmDocument::serialDeviceGone() {
    setStatus(0, statusText(ComStatus, ErrorDash) + QLatin1Char(' ') + MSComm1().lastError());
    if (isActive())
        SerialReopenTimer.start();
}

void frmDocument::SerialReopenTimer_Timer() {
    if (!isActive() || chkVPort->value() == 1 || MSComm1().portOpen()) {
        SerialReopenTimer.stop();
        return;
    }
    const ComponentResult result = MSComm1().setPortOpen(true);
    if (!result) {
        setStatus(0, statusText(ComStatus, ErrorDash) + QLatin1Char(' ') + result.description);
        return;
    }
    SerialReopenTimer.stop();
    setStatus(0, statusText(ComStatus, Open));
    moveNetworkToSerial();
}
