#pragma once
// The session window: one bridge between a serial (or virtual) port and one network endpoint.
// Its controls hold the session's settings and its public methods are the session's
// operations; what runs while the session is active is a Bridge, created by the activation
// and destroyed by the deactivation, to which the window's event handlers forward. Views show
// the window; the headless mode runs it alone.

#include "model/Form.h"
#include "session/OptionExchange.h"
#include "session/SessionSettings.h"
#include "session/StatusSink.h"

#include <array>
#include <memory>

class Bridge;
class Host;
class SerialPort;
class VirtualPort;
class SocketArray;
class TransferBuffer;

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

class frmDocument : public Form, private StatusSink {
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

    // Runtime state of the window.
    bool UseUDP = false;
    int TCPOptionValue = 0; // the runtime TCPOption field: 0 client, 1 server
    int ActiveConnector = 0;
    QString LocalIPAddress;
    // The I/O options (AllowMultiConnect ... PasswordPromptResponse, ComPortControl); a running
    // session takes a change at once.
    const IoOptions& ioOptions() const { return options_; }
    void setIoOptions(const IoOptions& options);

    // The activation's engine: null while the session is inactive.
    Bridge* bridge() const { return bridge_.get(); }
    // What the engine holds, read by name; 0 while inactive.
    long ConnectedClients() const;
    int PingTicks() const;
    // Highest index of the loaded socket elements; loops over sockets run from 0 to it.
    long MaxSocketIndex() const;

    // Components.
    SerialPort& MSComm1() const { return *components_.serial; }
    VirtualPort& VSPort1() const { return *components_.virtualPort; }
    SocketArray& Winsock1() const { return *components_.sockets; }

    // The two transfer buffers of the running session: serial to network (MyBuffer) and
    // network to serial (SerialOutBuffer). While inactive they hold nothing and take nothing.
    int Add2MyBuffer(const QByteArray& bytes);
    QByteArray ReadFromMyBuffer(int& NumBytes);
    int Add2SerialOutBuffer(const QByteArray& bytes);
    QByteArray ReadFromSerialOutBuffer(int& NumBytes);
    int MyBufferSize() const;
    int MyBufferCount() const;
    int SerialOutBufferSize() const;
    int SerialOutBufferCount() const;

    // Public operations.
    void Getstatus();      // session options -> exchange block
    void UpdateStatus();   // exchange block -> session options
    void Command1_Click(); // activate / deactivate toggle
    // Activates the session as the start-up does for a session stored active. Unlike a click,
    // a device or a local address that is not there yet does not end it: the session shows
    // why and tries again every 5 s, as an active session (De-Activate stops it).
    void AutoActivate();
    void TCPOption_Click(int index);
    void Command3_Click();  // Set Window Name
    void Frame2_DblClick(); // connected clients list
    // Gives the serial port new line settings, now and at its next open.
    void setLineSettings(const QString& settings);
    // The window closes: its port, virtual port and connections are released now, without the
    // deactivation steps, even though the object itself may be freed later.
    void Form_Unload();
    // Appends one line to the error log (when logging is on) and starts the program set to
    // run on errors (when one is set).
    void LogErrors(const QString& Desc);

    // Event handlers of the components and timers; tests call them directly.
    void MSComm1_OnComm();
    void VSPort1_DataReceived();
    void VSPort1_OpenClose(bool opened);
    void Winsock1_Connect(int index);
    void Winsock1_ConnectionRequest(int index, int requestId);
    void Winsock1_Close(int index);
    void Winsock1_Error(int index, int number, const QString& description);
    void Winsock1_DataArrival(int index);
    void Timer1_Timer(); // client reconnect
    void Timer2_Timer(); // the 50 ms heartbeat tick

    // The session is active exactly when Command1 shows "De-Activate".
    bool isActive() const;
    // The name under which other programs address this session's commands: the connector text.
    const QString& linkTopic() const { return linkTopic_; }
    // Sets a status label's caption; every change is passed on to the session's log.
    void setStatus(int index, const QString& caption);

signals:
    // A status caption changed (the log line's description).
    void statusChanged(int index, const QString& caption);

private:
    void createControls();
    void connectHandlers();
    void connectLiveSettings();
    void connectComponents();
    void Form_Load();
    void fillLists();
    void Combo2_Click();
    void PortNumber_Change();

    // Activation (SessionActivation.cpp).
    void activate(bool waitIfMissing);
    void deactivate();
    bool validNetworkSettings(double port);
    SessionSettings takeSettings(double port) const;
    void setConfigurationEnabled(bool enabled);
    void setActiveCaption();
    QString serialSettingsString() const;

    // The engine while it moves bytes; null before it starts and after it stops.
    Bridge* running() const;
    TransferBuffer* myBuffer() const;
    TransferBuffer* serialOutBuffer() const;

    // Status, log and lights (SessionLog.cpp).
    QString errorLogLine(const QString& Desc) const;
    void lightUp(int index);
    int ticksUntilDue() const;
    void heartbeatTick(int periods);
    void showStatus(Side side, const QString& caption) override { setStatus(side, caption); }
    void logError(const QString& description) override { LogErrors(description); }
    void showActivity(Side side) override { lightUp(side); }

    Host& host_;
    SessionComponents components_;
    IoOptions options_;
    QString linkTopic_;
    std::unique_ptr<Bridge> bridge_;
    int lightTicks_ = 0;
    bool active_ = false; // Command1 shows "De-Activate"
};
