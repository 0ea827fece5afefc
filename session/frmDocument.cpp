#include "session/frmDocument.h"

#include "model/Designed.h"
#include "model/GlobalSettings.h"
#include "model/Host.h"
#include "model/Val.h"
#include "net/EchoStatus.h"
#include "platform/LocalAddresses.h"
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "platform/VirtualPort.h"
#include "session/SessionHeartbeat.h"
#include "session/dialogs/SessionDialogs.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

using namespace std::chrono_literals;

namespace {

constexpr int kComPorts = 1024;
constexpr int kMaxPort = 65535;
constexpr auto kReconnectInterval = 5000ms;
constexpr auto kDeviceReopenInterval = 5000ms;

// String ids of the window's texts.
enum TextId {
    IdNone = 2205,
    IdConnectedClients = 5101,
    IdPortRange = 5102,
    IdError = 5103,
    IdRemoteHost = 5104,
    IdRemotePort = 5105,
    IdLocalAddress = 5106,
    IdLocalPort = 5107,
    IdDeActivate = 5118,
};

} // namespace

SessionComponents::SessionComponents() = default;
SessionComponents::~SessionComponents() = default;
SessionComponents::SessionComponents(SessionComponents&&) noexcept = default;
SessionComponents& SessionComponents::operator=(SessionComponents&&) noexcept = default;

SessionComponents SessionComponents::linuxComponents() {
    SessionComponents c;
    c.serial = createSerialPort();
    c.virtualPort = createVirtualPort();
    c.sockets = std::make_unique<SocketArray>();
    return c;
}

frmDocument::frmDocument(Host& host, QObject* parent)
    : frmDocument(host, SessionComponents::linuxComponents(), parent) {}

frmDocument::frmDocument(Host& host, SessionComponents components, QObject* parent)
    : Form(QStringLiteral("frmDocument"), parent)
    , host_(host)
    , components_(std::move(components)) {
    createControls();
    connectHandlers();
    Timer1.setInterval(kReconnectInterval);
    SerialReopenTimer.setInterval(kDeviceReopenInterval);
    connectComponents();
    SessionHeartbeat::instance().join(this, {[this] { Timer2_Timer(); },
                                             [this] {
                                                 return needsTicks();
                                             }});
    Form_Load();
    // The captions the labels got while loading are the first lines of the session's log;
    // from here on every new caption is one.
    for (int i = 0; i < 2; ++i) {
        LogErrors(StatusBar1[i]->caption());
        connect(StatusBar1[i], &CaptionControl::captionChanged, this,
                [this](const QString& caption) { LogErrors(caption); });
    }
}

frmDocument::~frmDocument() {
    SessionHeartbeat::instance().leave(this);
}

void frmDocument::connectComponents() {
    connect(&MSComm1(), &SerialPort::OnComm, this, &frmDocument::MSComm1_OnComm);
    connect(&MSComm1(), &SerialPort::transmitRoom, this, &frmDocument::moveNetworkToSerial);
    connect(&VSPort1(), &VirtualPort::dataReceived, this, &frmDocument::VSPort1_DataReceived);
    connect(&VSPort1(), &VirtualPort::openClose, this, &frmDocument::VSPort1_OpenClose);
    connect(&VSPort1(), &VirtualPort::writeRoom, this, [this] {
        virtualPortFull_ = false;
        moveNetworkToSerial();
    });
    SocketArray& sockets = Winsock1();
    connect(&sockets, &SocketArray::connected, this, &frmDocument::Winsock1_Connect);
    connect(&sockets, &SocketArray::connectionRequest, this,
            &frmDocument::Winsock1_ConnectionRequest);
    connect(&sockets, &SocketArray::closed, this, &frmDocument::onSocketClosed);
    connect(&sockets, &SocketArray::error, this, &frmDocument::Winsock1_Error);
    connect(&sockets, &SocketArray::dataArrival, this,
            [this](int index, qint64) { Winsock1_DataArrival(index); });
    connect(&sockets, &SocketArray::bytesSent, this,
            [this](int, qint64) { resumeSerialToNetwork(); });
    connect(&Timer1, &QTimer::timeout, this, &frmDocument::Timer1_Timer);
    connect(&SerialReopenTimer, &QTimer::timeout, this, &frmDocument::SerialReopenTimer_Timer);
}

void frmDocument::createControls() {
    Frame1 = designed(add<Frame>(QStringLiteral("Frame1")), QStringLiteral("Serial Port:"), 5000);
    const std::array<int, 7> serialLabelIds{2202, 2203, 2204, 2210, 2211, 2212, 2217};
    for (int i = 0; i < 7; ++i) {
        SerialLabels[i] = designed(addArrayItem<Label>(QStringLiteral("lblSerial"), i), QString(),
                                   serialLabelIds[i]);
    }
    Combo2 = add<ComboBox>(QStringLiteral("Combo2"));
    for (int i = 0; i < 6; ++i)
        Combo1[i] = addArrayItem<ComboBox>(QStringLiteral("Combo1"), i);
    BufferSerData = designed(add<CheckBox>(QStringLiteral("BufferSerData")),
                             QStringLiteral("Buffer Data If TCP/IP Port Closed"), 5003);
    chkVPort = designed(add<CheckBox>(QStringLiteral("chkVPort")),
                        QStringLiteral("Create Virtual COM Port"), 5002);
    WaitForCr = designed(add<CheckBox>(QStringLiteral("WaitForCr")),
                         QStringLiteral("Wait for timeout before transmit."), 5004);
    lblTimeout = designed(add<Label>(QStringLiteral("lblTimeout")),
                          QStringLiteral("Timeout value (ms):"), 5005);
    txtTimeoutValue = add<TextBox>(QStringLiteral("txtTimeoutValue"));
    txtTimeoutValue->setText(QStringLiteral("150"));

    Frame2 = designed(add<Frame>(QStringLiteral("Frame2")), QStringLiteral("TCP/IP Port:"), 5001);
    const std::array<const char*, 2> roleCaptions{"This PC Will Act As TCP Client",
                                                  "This PC Will Act As TCP Server"};
    for (int i = 0; i < 2; ++i) {
        TCPOption[i] = designed(addArrayItem<OptionButton>(QStringLiteral("TCPOption"), i),
                                QString::fromLatin1(roleCaptions[i]), 5006 + i);
    }
    OptionButton::group({TCPOption[0], TCPOption[1]});
    Label2 = add<Label>(QStringLiteral("Label2"));
    Label3 = add<Label>(QStringLiteral("Label3"));
    IPAddress = add<TextBox>(QStringLiteral("IPAddress"));
    IPAddress->setMaxLength(50);
    LocalIP = add<ComboBox>(QStringLiteral("LocalIP"));
    LocalIP->setEditable(true);
    PortNumber = add<TextBox>(QStringLiteral("PortNumber"));
    PortNumber->setMaxLength(5);
    PortNumber->setText(QStringLiteral("1000"));
    chkUDP = designed(add<CheckBox>(QStringLiteral("chkUDP")),
                      QStringLiteral("Use UDP instead of TCP/IP"));
    Command2 =
        designed(add<Button>(QStringLiteral("Command2")), QStringLiteral("I/O Options..."), 5008);
    btnLogin =
        designed(add<Button>(QStringLiteral("btnLogin")), QStringLiteral("Login Options..."));

    Command1 = designed(add<Button>(QStringLiteral("Command1")), QStringLiteral("Activate"), 5009);
    Command3 =
        designed(add<Button>(QStringLiteral("Command3")), QStringLiteral("Set Window Name..."));
    const std::array<const char*, 2> statusCaptions{"COM Status:", "TCP/IP Status:"};
    for (int i = 0; i < 2; ++i) {
        StatusBar1[i] = designed(addArrayItem<Label>(QStringLiteral("StatusBar1"), i),
                                 QString::fromLatin1(statusCaptions[i]), 5090 + i);
        Shape1[i] = addArrayItem<Shape>(QStringLiteral("Shape1"), i);
    }
}

void frmDocument::connectHandlers() {
    connect(Combo2, &ComboBox::clicked, this, &frmDocument::Combo2_Click);
    connect(PortNumber, &TextBox::textChanged, this, &frmDocument::PortNumber_Change);
    for (int i = 0; i < 2; ++i) {
        connect(TCPOption[i], &OptionButton::clicked, this, [this, i] { TCPOption_Click(i); });
        connect(StatusBar1[i], &CaptionControl::captionChanged, this,
                [this, i](const QString& caption) { emit statusChanged(i, caption); });
    }
    connect(Command1, &Button::clicked, this, &frmDocument::Command1_Click);
    // Active exactly while the button shows "De-Activate"; kept as a flag for the heartbeat.
    connect(Command1, &CaptionControl::captionChanged, this,
            [this](const QString& caption) { active_ = caption == LoadResString(IdDeActivate); });
    connect(Command3, &Button::clicked, this, &frmDocument::Command3_Click);
    connect(Command2, &Button::clicked, this, [this] { showIoOptions(*this, host_); });
    connect(btnLogin, &Button::clicked, this, [this] { showLoginOptions(*this, host_); });
    connect(Frame2, &Frame::dblClicked, this, &frmDocument::Frame2_DblClick);
}

void frmDocument::Form_Load() {
    LoadResource(*this);
    setCurrentPingTimeout(1000);
    MSComm1().setInputMode(1);
    fillLists();

    LocalIP->setItems(localIPv4Addresses());
    if (LocalIPAddress.isEmpty()) {
        LocalIPAddress = Winsock1().at(0).LocalIP();
        if (!LocalIPAddress.isEmpty()) {
            LocalIP->setText(LocalIPAddress);
            TCPOption[1]->setEnabled(true);
        } else {
            // Without a local address this machine cannot serve.
            TCPOption[1]->setEnabled(false);
            TCPOptionValue = 0;
        }
    }
    TCPOption[0]->setValue(true);
    options.AllowMultiConnect = 1;
    options.ConnectOnVirtualOpen = 1;
}

void frmDocument::fillLists() {
    QStringList connectors{LoadResString(IdNone)};
    for (int n = 1; n <= kComPorts; ++n)
        connectors << QStringLiteral("COM%1").arg(n);
    Combo2->setItems(connectors);
    Combo2->setListIndex(0);

    Combo1[0]->setItems({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                         "28800", "38400", "57600", "115200", "230400", "460800", "921600"});
    Combo1[0]->setListIndex(6);
    Combo1[1]->setItems({LoadResString(2205), LoadResString(2207), LoadResString(2206),
                         LoadResString(2208), LoadResString(2209)});
    Combo1[1]->setListIndex(0);
    Combo1[2]->setItems({"5", "6", "7", "8"});
    Combo1[2]->setListIndex(3);
    Combo1[3]->setItems({"1", "1.5", "2"});
    Combo1[3]->setListIndex(0);
    Combo1[4]->setItems(
        {LoadResString(2213), LoadResString(2214), LoadResString(2215), LoadResString(2216)});
    Combo1[4]->setListIndex(0);
    QStringList sizes;
    for (qint64 size : {1024LL, 4096LL}) // the list has no 2048
        sizes << QString::number(size);
    for (qint64 size = 8192; size <= 67108864; size *= 2)
        sizes << QString::number(size);
    Combo1[5]->setItems(sizes);
    Combo1[5]->setListIndex(2);
}

void frmDocument::Getstatus() {
    static_cast<IoOptions&>(optionExchange()) = options;
}

void frmDocument::UpdateStatus() {
    options = optionExchange();
}

long frmDocument::MaxSocketIndex() const {
    return Winsock1().maxIndex();
}

bool frmDocument::isActive() const {
    return active_;
}

void frmDocument::TCPOption_Click(int index) {
    const bool server = index == 1;
    IPAddress->setVisible(!server);
    LocalIP->setVisible(server);
    Label2->setCaption(LoadResString(server ? IdLocalAddress : IdRemoteHost));
    Label3->setCaption(LoadResString(server ? IdLocalPort : IdRemotePort));
}

void frmDocument::Combo2_Click() {
    linkTopic_ = Combo2->text();
}

void frmDocument::PortNumber_Change() {
    // The text is not corrected here; activation refuses a port out of range.
    if (Val(PortNumber->text()) > kMaxPort)
        host_.messageBox(LoadResString(IdPortRange), LoadResString(IdError));
}

void frmDocument::Command3_Click() {
    const auto name = host_.inputBox(
        QStringLiteral("Enter an optional name or description for this session window. The name "
                       "that you enter will appear in the title bar of the current session window "
                       "and in the Window list on the Lumivex main menu."),
        QStringLiteral("Set Window Name"), caption());
    if (!name || name->isEmpty())
        return;
    setCaption(*name);
    Command3->setTag(*name);
}

void frmDocument::Frame2_DblClick() {
    if (TCPOption[0]->value())
        return;
    QString list;
    SocketArray& sockets = Winsock1();
    for (int i = 0; i <= MaxSocketIndex(); ++i) {
        if (sockets.at(i).State() == 7)
            list += sockets.at(i).RemoteHostIP() + QStringLiteral("\r\n");
    }
    host_.messageBox(list, LoadResString(IdConnectedClients));
}

void frmDocument::Form_Unload() {
    SessionHeartbeat::instance().leave(this);
    Timer1.stop();
    SerialReopenTimer.stop();
    linkMonitor_.reset();
    MSComm1().disconnect(this);
    VSPort1().disconnect(this);
    Winsock1().disconnect(this);
    VSPort1().deletePort();
    if (MSComm1().portOpen())
        MSComm1().setPortOpen(false);
    for (int i = 0; i <= MaxSocketIndex(); ++i)
        Winsock1().at(i).Close();
}

bool frmDocument::monitorActive() const {
    return isActive() && !UseUDP;
}

Socket& frmDocument::socket(int index) {
    return Winsock1().at(index);
}
