#pragma once
// The serial port component of a session: one COMn port with its line settings, receive and
// transmit queues and one event, OnComm(), raised for every kind of port event; commEvent()
// tells the kind. Abstract so that tests can put a double in its place.

#include "platform/ComponentResult.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <limits>
#include <memory>
#include <optional>

class SerialPort : public QObject {
    Q_OBJECT
public:
    // Kinds of event read through commEvent().
    enum CommEvent {
        NoEvent = 0,
        EventReceive = 2,       // bytes are waiting in the receive queue
        EventDeviceGone = 1012, // the device went away; the port has been closed
    };

    // Failure numbers of ComponentResult.
    enum Error {
        InvalidValue = 380,       // a setting out of range or malformed
        InvalidPortNumber = 8002, // COM number below 1 or too large
        PortAlreadyOpen = 8005,   // the setting cannot change, or the port is open already
        DeviceUnavailable = 8010, // missing, in use, or no permission
        PortNotOpen = 8012,       // the call needs an open port
        DeviceFailure = 8020,     // the device refused a setting or a transfer
    };

    // Defaults when nothing was set.
    static constexpr int defaultInBufferSize = 1024;
    static constexpr int defaultOutBufferSize = 512;

    using QObject::QObject;
    ~SerialPort() override = default;

    // "baud,parity,data bits,stop bits", e.g. "9600,N,8,1". Applied at once when open. A
    // malformed text fails with a readable description and changes nothing.
    virtual ComponentResult setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    // n: the port opened is COMn. Fails while the port is open.
    virtual ComponentResult setCommPort(int n) = 0;
    virtual int commPort() const = 0;

    // 0 none, 1 Xon/Xoff, 2 hardware (RTS/CTS).
    virtual ComponentResult setHandshaking(int mode) = 0;
    virtual int handshaking() const = 0;

    // The line switch is DTR. A device without modem lines ignores it.
    virtual void setLineSwitch(bool on) = 0;
    virtual bool lineSwitch() const = 0;
    // RTS (on after every open) and BREAK (off after every open); as with DTR, a device without
    // them ignores the call and the port remembers the state asked for.
    virtual void setRequestToSend(bool on) = 0;
    virtual bool requestToSend() const = 0;
    virtual void setBreak(bool on) = 0;
    virtual bool breakOn() const = 0;

    // The input lines of an open port; nullopt for a device that has none (a pty).
    struct ModemLines {
        bool cts = false, dsr = false, ring = false, carrier = false;
        bool operator==(const ModemLines&) const = default;
    };
    virtual std::optional<ModemLines> modemLines() const = 0;
    // How many receive errors the driver counted since it loaded; nullopt where it counts none.
    struct LineErrorCounts {
        int overrun = 0, parity = 0, framing = 0, breaks = 0;
        bool operator==(const LineErrorCounts&) const = default;
    };
    virtual std::optional<LineErrorCounts> lineErrorCounts() const = 0;

    // Receive queue: bytes held before the sender is held back.
    virtual ComponentResult setInBufferSize(int bytes) = 0;
    virtual int inBufferSize() const = 0;
    // Transmit queue size: free transmit space is this less outBufferCount().
    virtual ComponentResult setOutBufferSize(int bytes) = 0;
    virtual int outBufferSize() const = 0;
    // Bytes handed over and not yet sent (held by the port and by the operating system).
    virtual int outBufferCount() const = 0;

    // true opens COMn (its device is looked up anew), false closes it.
    virtual ComponentResult setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // 0 text, 1 binary; input() returns bytes either way.
    virtual void setInputMode(int mode) = 0;
    virtual int inputMode() const = 0;

    // The kind of the last event (CommEvent).
    virtual int commEvent() const = 0;

    // Bytes waiting in the receive queue; setting 0 discards them.
    virtual int inBufferCount() const = 0;
    virtual void setInBufferCount(int count) = 0;
    // Discards what was handed over and has not gone out yet.
    virtual void discardOutput() = 0;

    // Up to maxBytes of the waiting bytes (all by default). What is left waits in the port,
    // and once the receive queue is full the device is held back by its flow control.
    virtual QByteArray input(int maxBytes = std::numeric_limits<int>::max()) = 0;
    // Hands bytes to the transmit queue: at most outputRoom() of them; taken tells how many.
    virtual ComponentResult output(const QByteArray& bytes, int* taken = nullptr) = 0;
    // Free transmit space: the transmit queue size less outBufferCount(); 0 while closed.
    // transmitRoom() tells when it has grown.
    virtual int outputRoom() const = 0;

    // The device the port has open or opened last; empty before any open.
    virtual QString devicePath() const = 0;
    // The description of the last failure or event that went wrong.
    virtual QString lastError() const = 0;

signals:
    // One event for every kind; read commEvent() for the kind.
    void OnComm();
    // Bytes of the transmit queue went out: outputRoom() has grown.
    void transmitRoom();
};

std::unique_ptr<SerialPort> createSerialPort(QObject* parent = nullptr);
