#pragma once
// The session window: one bridge between a serial (or virtual) port and one network endpoint.
// Its controls hold the session's settings, its fields the session's runtime state, and its
// public methods are the session's operations. Views show it; the headless mode runs it alone.

#include "model/Form.h"
#include "session/OptionExchange.h"

#include <QTimer>
#include <array>
#include <memory>

class Host;
class SerialPort;
class VirtualPort;
class SocketArray;

// The port and socket components a session works with. Tests hand in doubles.
struct SessionComponents {
    SessionComponents();
    ~SessionComponents();
    SessionComponents(SessionComponents&&) noexcept;
    SessionComponents& operator=(SessionComponents&&) noexcept;

    std::unique_ptr<SerialPort> serial;
    std::unique_ptr<VirtualPort> virtualPort;
    std::unique_ptr<SocketArray> sockets;

    static SessionComponents linuxComponents();
};

class frmDocument : public Form {
    Q_OBJECT
public:
    explicit frmDocument(Host& host, QObject* parent = nullptr);
    frmDocument(Host& host, SessionComponents components, QObject* parent = nullptr);
    ~frmDocument() override;

    // Serial side.
    ComboBox* Combo2;                // connector: "None", COM1 ... COM1024
    std::array<ComboBox*, 6> Combo1; // baud, parity, data bits, stop bits, flow, buffer size
    CheckBox* BufferSerData;
    CheckBox* chkVPort;
    CheckBox* WaitForCr;
    TextBox* txtTimeoutValue;
    // Network side.
    std::array<OptionButton*, 2> TCPOption; // 0 client, 1 server
    Label* Label2;                          // address caption
    Label* Label3;                          // port caption
    TextBox* IPAddress;
    ComboBox* LocalIP;
    TextBox* PortNumber;
    CheckBox* chkUDP;
    Button* Command2; // I/O Options...
    Button* btnLogin; // Login Options...
    // Session.
    Button* Command1;                   // Activate / De-Activate
    Button* Command3;                   // Set Window Name...; its tag is the session description
    std::array<Label*, 2> StatusBar1;   // 0 serial status, 1 network status
    std::array<Shape*, 2> Shape1;       // activity lights
    Frame* Frame1;                      // "Serial Port:"
    Frame* Frame2;                      // "TCP/IP Port:"
    std::array<Label*, 7> SerialLabels; // captions of the serial lists
    Label* lblTimeout;

    // Runtime state.
    bool UseUDP = false;
    int TCPOptionValue = 0; // the runtime TCPOption field: 0 client, 1 server
    int ActiveConnector = 0;
    QString LocalIPAddress;
    long PingTicks = 0;
    long TxIdleTicks = 0;
    long ConnectedClients = 0;
    IoOptions options; // AllowMultiConnect ... PasswordPromptResponse
    // Highest index of the loaded socket elements; loops over sockets run from 0 to it.
    long MaxSocketIndex() const;

    // Components.
    SerialPort& MSComm1() const { return *components_.serial; }
    VirtualPort& VSPort1() const { return *components_.virtualPort; }
    SocketArray& Winsock1() const { return *components_.sockets; }

    QTimer Timer1; // client reconnect, 5000 ms, off until a client connection closes
    QTimer Timer2; // the 50 ms session heartbeat

    // Public operations.
    void Getstatus();      // session options -> exchange block
    void UpdateStatus();   // exchange block -> session options
    void Command1_Click(); // activate / deactivate toggle
    void TCPOption_Click(int index);
    void Command3_Click();  // Set Window Name
    void Frame2_DblClick(); // connected clients list

    // The session is active exactly when Command1 shows "De-Activate".
    bool isActive() const;
    // The name under which other programs address this session's commands: the connector text.
    const QString& linkTopic() const { return linkTopic_; }
    // Sets a status label's caption; every change is passed on to the session's log.
    void setStatus(int index, const QString& caption);

signals:
    void activationRequested();
    // A status caption changed (the log line's description).
    void statusChanged(int index, const QString& caption);

private:
    void createControls();
    void connectHandlers();
    void Form_Load();
    void fillLists();
    void Combo2_Click();
    void PortNumber_Change();

    Host& host_;
    SessionComponents components_;
    QString linkTopic_;
};
