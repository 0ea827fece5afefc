// Activation and deactivation of a session: the Activate / De-Activate button.
#include "model/Val.h"
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "platform/VirtualPort.h"
#include "session/SessionHeartbeat.h"
#include "session/SessionTexts.h"
#include "session/frmDocument.h"
#include "text/StringTable.h"

#include <cmath>

using namespace SessionText;

namespace {

constexpr int kMaxPort = 65535;
constexpr int kSerialQueueBytes = 8192;

// Handshaking and line switch per flow-control list index; 3 and above is Opto-RS.
struct FlowControl {
    int handshaking;
    bool lineSwitch;
};
FlowControl flowControlFor(int index) {
    if (index >= 3)
        return {2, false};
    return {std::max(index, 0), true};
}

// Rounds halves to even, as the port number conversion does.
int roundedPort(double port) {
    return static_cast<int>(std::nearbyint(port));
}

} // namespace

void frmDocument::Command1_Click() {
    UseUDP = chkUDP->value() != 0;
    linkMonitor_.reset();
    Timer1.stop();
    if (isActive())
        deactivate();
    else
        activate();
}

QString frmDocument::serialSettingsString() const {
    const int parity = Combo1[1]->listIndex();
    const QString letter = QStringLiteral("NEOMS").mid(parity, 1);
    return QStringList{Combo1[0]->text(), letter, Combo1[2]->text(), Combo1[3]->text()}.join(
        QLatin1Char(','));
}

void frmDocument::deactivate() {
    SerialReopenTimer.stop();
    if (chkVPort->value() == 1) {
        if (!VSPort1().deletePort()) {
            setStatus(0, LoadResString(VirtualPortNotClosed));
            return;
        }
        setStatus(0, LoadResString(VirtualPortClosed));
    } else {
        if (MSComm1().portOpen())
            MSComm1().setPortOpen(false);
        setStatus(0, statusText(ComStatus, Closed));
    }
    for (int i = 0; i <= MaxSocketIndex(); ++i) {
        Winsock1().at(i).Close();
        Winsock1().at(i).setLocalPort(0);
    }
    ConnectedClients = 0;
    Winsock1().at(0).setProtocol(0);
    stalledClients_.clear();
    setStatus(1, statusText(TcpIpStatus, Closed));
    setConfigurationEnabled(true);
    Command1->setCaption(LoadResString(Activate));
}

void frmDocument::activate() {
    if (IPAddress->visible() && IPAddress->text().isEmpty()) {
        setStatus(1, statusText(TcpIpStatus, InvalidIpAddress));
        return;
    }
    const double port = Val(PortNumber->text());
    if (port < 0 || port > kMaxPort) {
        setStatus(1, statusText(TcpIpStatus, InvalidPortNumber));
        return;
    }
    ActiveConnector = Combo2->listIndex();
    if (ActiveConnector == 0) {
        if (Command3->tag().isEmpty())
            setCaption(LoadResString(New) + QStringLiteral(" - ") + LoadResString(Rs232ToTcpIp));
        setStatus(0, LoadResString(ComStatus));
        setStatus(1, LoadResString(TcpIpStatus));
        return;
    }
    if (!openSerialSide() || !openNetworkSide(port))
        return;
    setActiveCaption();
    setConfigurationEnabled(false);
    Command1->setCaption(LoadResString(DeActivate));
    SessionHeartbeat::instance().wake();
}

bool frmDocument::openSerialSide() {
    const QString com = QStringLiteral("COM%1").arg(ActiveConnector);
    if (chkVPort->value() == 1) {
        VSPort1().deletePort();
        if (!VSPort1().createPort(com)) {
            setStatus(0, LoadResString(CannotCreateVirtual) + QLatin1Char(' ') + com);
            return false;
        }
        VSPort1().setSwitch16(true);
        VSPort1().setSwitch13(true);
        setStatus(0, LoadResString(VirtualPortName) + QLatin1Char(' ') + com + QLatin1Char(' ') +
                         LoadResString(Created));
        sizeTransferBuffers();
        return true;
    }
    SerialPort& serial = MSComm1();
    if (serial.portOpen())
        serial.setPortOpen(false);
    // Guarded: the first failure ends the activation with its description.
    const FlowControl flow = flowControlFor(Combo1[4]->listIndex());
    ComponentResult result = serial.setCommPort(ActiveConnector);
    if (result)
        result = serial.setSettings(serialSettingsString());
    if (result)
        result = serial.setHandshaking(flow.handshaking);
    if (result) {
        serial.setLineSwitch(flow.lineSwitch);
        result = serial.setInBufferSize(kSerialQueueBytes);
    }
    if (result)
        result = serial.setOutBufferSize(kSerialQueueBytes);
    if (result) {
        sizeTransferBuffers();
        result = serial.setPortOpen(true);
    }
    if (!result) {
        if (serial.portOpen())
            serial.setPortOpen(false);
        setStatus(0, statusText(ComStatus, ErrorDash) + QLatin1Char(' ') + result.description);
        return false;
    }
    if (!serial.portOpen()) {
        setStatus(0, statusText(ComStatus, PortNotAvailable));
        return false;
    }
    setStatus(0, statusText(ComStatus, Open));
    return true;
}

void frmDocument::sizeTransferBuffers() {
    const int size = static_cast<int>(Val(Combo1[5]->text()));
    MyBuffer.reset(size);
    SerialOutBuffer.reset(size);
    stalledClients_.clear();
}

bool frmDocument::openNetworkSide(double port) {
    Socket& socket = Winsock1().at(0);
    if (UseUDP) {
        socket.setProtocol(1);
    } else {
        socket.Close();
        socket.setProtocol(0);
    }
    // Each connection holds at most one buffer of unsent bytes (see the send paths).
    socket.setSendLimit(MyBuffer.capacity());
    ComponentResult guarded;
    if (TCPOption[0]->value()) {
        TCPOptionValue = 0;
        socket.setRemoteHost(IPAddress->text());
        socket.setRemotePort(roundedPort(port));
        const bool deferred = chkVPort->value() == 1 && options.ConnectOnVirtualOpen != 0;
        if (deferred) {
            if (UseUDP)
                socket.Bind(roundedPort(port));
        } else {
            setStatus(1, statusText(TcpIpStatus, Connecting));
            if (UseUDP)
                socket.Bind(roundedPort(port));
            else
                guarded = socket.Connect();
        }
    } else {
        TCPOptionValue = 1;
        socket.setLocalPort(roundedPort(port));
        if (UseUDP)
            socket.setRemotePort(roundedPort(port));
        guarded = socket.Bind(roundedPort(port), LocalIP->text());
        if (guarded && !UseUDP)
            guarded = socket.Listen();
        if (guarded)
            setStatus(1, statusText(TcpIpStatus, Listening));
    }
    if (guarded)
        return true;
    socket.Close();
    socket.setRemoteHost(QString());
    socket.setRemotePort(0);
    setStatus(1, statusText(TcpIpStatus, ErrorDash) + QLatin1Char(' ') + guarded.description);
    rollBackSerialSide();
    return false;
}

void frmDocument::rollBackSerialSide() {
    if (chkVPort->value() == 1) {
        setStatus(0,
                  LoadResString(VSPort1().deletePort() ? VirtualPortClosed : VirtualPortNotClosed));
        return;
    }
    if (MSComm1().portOpen())
        MSComm1().setPortOpen(false);
    setStatus(0, statusText(ComStatus, Closed));
}

void frmDocument::setActiveCaption() {
    if (!Command3->tag().isEmpty())
        return;
    setCaption(Combo2->text() + QStringLiteral(" - ") + LoadResString(Rs232ToTcpIp));
}

void frmDocument::setConfigurationEnabled(bool enabled) {
    const std::initializer_list<Control*> controls{
        Combo2,    Combo1[0],  Combo1[1], Combo1[2],    Combo1[3],
        Combo1[4], Combo1[5],  Command2,  TCPOption[0], TCPOption[1],
        IPAddress, PortNumber, LocalIP,   chkVPort,     chkUDP};
    for (Control* control : controls)
        control->setEnabled(enabled);
}
