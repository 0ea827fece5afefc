// Activation and deactivation of a session: the Activate / De-Activate button. Activation
// checks the window's settings, takes them into a SessionSettings and hands them to a new
// Bridge, which opens both sides; deactivation closes them and lets the Bridge go.
#include "model/Val.h"
#include "session/Bridge.h"
#include "session/SessionTexts.h"
#include "session/frmDocument.h"

#include <cmath>

using namespace SessionText;

namespace {

constexpr int kMaxPort = 65535;

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

} // namespace

void frmDocument::Command1_Click() {
    UseUDP = chkUDP->value() != 0;
    if (isActive())
        deactivate();
    else
        activate(false);
}

void frmDocument::AutoActivate() {
    if (isActive())
        return;
    UseUDP = chkUDP->value() != 0;
    activate(true);
}

QString frmDocument::serialSettingsString() const {
    const int parity = Combo1[1]->listIndex();
    const QString letter = QStringLiteral("NEOMS").mid(parity, 1);
    return QStringList{Combo1[0]->text(), letter, Combo1[2]->text(), Combo1[3]->text()}.join(
        QLatin1Char(','));
}

void frmDocument::deactivate() {
    if (bridge_ && !bridge_->close())
        return; // the virtual port could not be deleted: the session stays active
    bridge_.reset();
    setConfigurationEnabled(true);
    Command1->setCaption(LoadResString(Activate));
}

// The checks before anything is opened; a failure is shown in the network status.
bool frmDocument::validNetworkSettings(double port) {
    if (IPAddress->visible() && IPAddress->text().isEmpty()) {
        setStatus(1, statusText(TcpIpStatus, InvalidIpAddress));
        return false;
    }
    if (port < 0 || port > kMaxPort) {
        setStatus(1, statusText(TcpIpStatus, InvalidPortNumber));
        return false;
    }
    return true;
}

void frmDocument::activate(bool waitIfMissing) {
    const double port = Val(PortNumber->text());
    if (!validNetworkSettings(port))
        return;
    ActiveConnector = Combo2->listIndex();
    if (ActiveConnector == 0) {
        if (Command3->tag().isEmpty())
            setCaption(LoadResString(New) + QStringLiteral(" - ") + LoadResString(Rs232ToTcpIp));
        setStatus(0, LoadResString(ComStatus));
        setStatus(1, LoadResString(TcpIpStatus));
        return;
    }
    const SessionSettings settings = takeSettings(port);
    TCPOptionValue = settings.server ? 1 : 0;
    StatusSink& sink = *this;
    auto bridge = std::make_unique<Bridge>(settings, MSComm1(), VSPort1(), Winsock1(), sink);
    const Bridge::Opening opening = bridge->open(waitIfMissing);
    if (opening == Bridge::Opening::Failed)
        return;
    bridge_ = std::move(bridge);
    setActiveCaption();
    setConfigurationEnabled(false);
    Command1->setCaption(LoadResString(DeActivate));
    if (opening == Bridge::Opening::Done)
        bridge_->start();
}

SessionSettings frmDocument::takeSettings(double port) const {
    SessionSettings s;
    s.connector = ActiveConnector;
    s.virtualPort = chkVPort->value() == 1;
    s.lineSettings = serialSettingsString();
    const FlowControl flow = flowControlFor(Combo1[4]->listIndex());
    s.handshaking = flow.handshaking;
    s.lineSwitch = flow.lineSwitch;
    s.bufferSize = static_cast<int>(Val(Combo1[5]->text()));
    s.udp = UseUDP;
    s.server = !TCPOption[0]->value();
    s.remoteHost = IPAddress->text();
    s.localAddress = LocalIP->text();
    s.port = static_cast<int>(std::nearbyint(port)); // halves to even
    s.options = options_;
    s.bufferSerialData = BufferSerData->value() != 0;
    s.waitForTimeout = WaitForCr->value() != 0;
    s.timeoutMs = Val(txtTimeoutValue->text());
    return s;
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
