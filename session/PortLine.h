#pragma once
// The serial port's line as the network clients of a session with COM port control set it:
// one state for all of them, as on the port itself. It applies what a client asks for, tells
// the values in force, watches the modem lines and receive errors, says in the session's log
// what was changed, and brings the session's own settings back when the last client has left.
// A virtual port takes nothing from a remote: its line belongs to the application.

#include "platform/SerialPort.h"
#include "platform/linux/SerialLineSettings.h"

#include <cstdint>
#include <functional>

class StatusSink;
struct SessionSettings;

class PortLine {
public:
    // Heartbeat periods between two looks at the modem lines and the receive errors.
    static constexpr int pollTicks = 4;

    // purge(receive, transmit) discards what waits on its way from and to the device.
    using Purge = std::function<void(bool receive, bool transmit)>;

    PortLine(SerialPort& port, const SessionSettings& settings, StatusSink& sink, Purge purge);

    SerialLineSettings line() const;
    // False when the device refused it: the previous settings stay in force.
    bool setLine(const SerialLineSettings& line);
    int handshaking() const; // 0 none, 1 Xon/Xoff, 2 hardware
    void setHandshaking(int mode);
    bool dtr() const;
    void setDtr(bool on);
    bool rts() const;
    void setRts(bool on);
    bool breakOn() const;
    void setBreak(bool on);
    void purge(bool receive, bool transmit) { purge_(receive, transmit); }
    // "no flow control", "Xon/Xoff flow control" or "hardware flow control".
    static QString flowName(int handshaking);

    // The modem lines in the notation of COM port control: carrier 0x80, ring 0x40, DSR 0x20,
    // CTS 0x10; 0 for a device without them.
    std::uint8_t modemState() const;
    bool hasStatusLines() const;
    // What changed since the last look: the modem state with its change bits (delta CTS 0x01,
    // delta DSR 0x02, ring ended 0x04, delta carrier 0x08), 0 when nothing did; and the receive
    // errors as line state bits (overrun 0x02, parity 0x04, framing 0x08, break 0x10).
    struct Changes {
        std::uint8_t modem = 0;
        std::uint8_t line = 0;
    };
    Changes poll();

    // One log line for what remotes changed since the last call ("Remote set 19200,E,8,1").
    void logChanges();
    // The last client left: the session's own settings come back, if a remote changed them.
    void restore();

private:
    struct Snapshot {
        QString line;
        int handshaking = 0;
        bool dtr = true, rts = true, breakOn = false;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const;
    Snapshot sessionOwn() const;
    bool applies() const;

    SerialPort& port_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    Purge purge_;
    Snapshot logged_;                        // what the log last said
    std::uint8_t lastModem_ = 0;             // the modem state at the last look
    SerialPort::LineErrorCounts lastErrors_; // the error counts at the last look
    bool errorsKnown_ = false;
};
