#pragma once
// The session window: one bridge between a serial (or virtual) port and one network endpoint.
// Its controls hold the session's settings, its fields the session's runtime state, and its
// public methods are the session's operations. Views show it; the headless mode runs it alone.

#include "model/Form.h"
#include "session/LinkMonitor.h"
#include "session/OptionExchange.h"
#include "session/TransferBuffer.h"

#include <QTimer>
#include <array>
#include <memory>
#include <vector>

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

class frmDocument : public Form, private LinkMonitorSession {
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
    // Quiet ticks counted by the link monitor since its last pass or the last data arrival.
    int PingTicks() const { return linkMonitor_.PingTicks(); }
    LinkMonitor& linkMonitor() { return linkMonitor_; }
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
    // Reopens a serial device that went away, every 5 s while the session is active.
    QTimer SerialReopenTimer;

    // The two transfer buffers, sized at every activation.
    TransferBuffer MyBuffer;        // serial -> network
    TransferBuffer SerialOutBuffer; // network -> serial
    int Add2MyBuffer(const QByteArray& bytes) { return MyBuffer.append(bytes); }
    QByteArray ReadFromMyBuffer(int& NumBytes) { return MyBuffer.take(NumBytes); }
    int Add2SerialOutBuffer(const QByteArray& bytes) { return SerialOutBuffer.append(bytes); }
    QByteArray ReadFromSerialOutBuffer(int& NumBytes) { return SerialOutBuffer.take(NumBytes); }

    // What was lost where no sender could be held back, for the log and for tests.
    struct DropCounts {
        qint64 udpDatagrams = 0; // received datagrams that did not fit the buffer
        qint64 udpBytes = 0;
        qint64 slowClientBytes = 0; // bytes a stalled client missed while others went on
    };
    const DropCounts& drops() const { return drops_; }

    // Public operations.
    void Getstatus();      // session options -> exchange block
    void UpdateStatus();   // exchange block -> session options
    void Command1_Click(); // activate / deactivate toggle
    void TCPOption_Click(int index);
    void Command3_Click();  // Set Window Name
    void Frame2_DblClick(); // connected clients list
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
    void SerialReopenTimer_Timer();

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
    void connectComponents();
    void Form_Load();
    void fillLists();
    void Combo2_Click();
    void PortNumber_Change();

    // Activation (SessionActivation.cpp).
    void activate();
    void deactivate();
    bool openSerialSide();
    bool openNetworkSide(double port);
    void rollBackSerialSide();
    void sizeTransferBuffers();
    void setConfigurationEnabled(bool enabled);
    void setActiveCaption();
    QString serialSettingsString() const;

    // Serial to network (SerialToNetwork.cpp).
    bool ignoresSerialInput() const;
    bool AnyConnected() const;
    std::vector<int> fanOutTargets() const;
    void readSerialInput(bool anyConnected);
    int readPortInto(int room);
    void sendHeldSerialBytes(bool anyConnected);
    void sendPackets(bool anyConnected);
    bool fanOutSend(int size);
    void sendOnUdp(int size);
    void transmitTimeoutStep();
    void resumeSerialToNetwork();
    double timeoutValue() const;

    // Network to serial (NetworkToSerial.cpp).
    bool dropsNetworkInput(int index) const;
    void takeNetworkInput(int index);
    void SerialOutputStep();
    void moveNetworkToSerial();
    bool pullWaitingNetworkInput();

    // Connections and device recovery (SessionConnections.cpp).
    QString clientCountText() const;
    void onSocketClosed(int index);
    void serialDeviceGone();
    void noteSlowClient(int index, qint64 missed);

    // Status and log (SessionLog.cpp).
    QString statusText(int labelId, int stateId) const;
    QString errorLogLine(const QString& Desc) const;
    void lightUp(int index);
    bool needsTicks() const;

    // What the link monitor sees of this session.
    bool monitorActive() const override;
    int maxSocketIndex() const override { return MaxSocketIndex(); }
    Socket& socket(int index) override;
    void closeSocket(int index) override { Winsock1_Close(index); }
    void logError(const QString& description) override { LogErrors(description); }

    Host& host_;
    SessionComponents components_;
    QString linkTopic_;
    DropCounts drops_;
    LinkMonitor linkMonitor_{*this, this};
    int lightTicks_ = 0;
    bool closing_ = false;             // the close handler's re-entry flag
    bool active_ = false;              // Command1 shows "De-Activate"
    bool movingToSerial_ = false;      // network-to-serial pass under way
    bool moveToSerialAgain_ = false;   // asked for again while it was under way
    bool virtualPortFull_ = false;     // the pty took less than offered; wait for its room
    bool movingToNetwork_ = false;     // serial-to-network pass under way
    std::vector<int> stalledClients_;  // clients whose stall was logged, until they take again
    std::vector<int> closeAfterDrain_; // peers that closed while their bytes were held back
};
