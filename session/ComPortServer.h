#pragma once
// COM port control for one client of a server session: the Telnet framing of its connection,
// and the COM-PORT-OPTION commands with which it sets the shared port line (baud rate, data
// size, parity, stop size, flow control, DTR, RTS, BREAK, purges) and hears of modem and line
// state changes under its own masks.
//
// A client that never speaks Telnet keeps a raw connection: its first byte decides. An RFC 2217
// client opens with IAC and a negotiation (WILL/DO/...), and gets Telnet from then on; anything
// else is raw data, both ways, for the rest of the connection. A client that says nothing gets
// raw data once graceTicks have passed; until its mode is known it takes no data (the serial
// side waits for it, as for a slow client), so that a Telnet client never sees an unescaped
// IAC and a raw one never sees an escaped one.

#include "session/TelnetCodec.h"

#include <QByteArray>
#include <cstdint>

class PortLine;
class Socket;

class ComPortServer : private TelnetCodec::Listener {
public:
    enum class Mode { Undecided, Raw, Telnet };
    // Heartbeat periods a silent client waits before it counts as raw (half a second).
    static constexpr int graceTicks = 10;
    // Answers held for a client that does not read them, before its requests are held back.
    static constexpr int pendingLimit = 4096;

    ComPortServer(Socket& socket, PortLine& line);

    Mode mode() const { return mode_; }
    // Whether the client has COM port control switched on.
    bool controlsPort() const;
    // Decided, and not asked by the client to suspend: data may go to it.
    bool takesData() const { return mode_ != Mode::Undecided && !suspended_; }

    // Bytes received from the client; returns the data among them for the serial side (what
    // followed the last purge of the transmit buffer, if there was one).
    QByteArray receive(const QByteArray& bytes);
    // How many received bytes it takes now: none while its answers wait to go out.
    qint64 inputRoom() const;

    // How many leading bytes of data the connection takes now (after the answers waiting).
    qint64 fit(const QByteArray& data);
    // Sends data that fit() allowed.
    void send(const QByteArray& data);

    // A heartbeat tick: the grace of a silent client, answers that wait.
    void tick(int periods);
    bool needsTicks() const;
    // The port's modem or line state changed.
    void notify(std::uint8_t modemState, std::uint8_t lineState);

private:
    void optionChanged(TelnetCodec::Side side, std::uint8_t option, bool enabled) override;
    void subnegotiation(std::uint8_t option, QByteArrayView payload) override;

    QByteArray decide(const QByteArray& bytes);
    void startTelnet();
    void command(std::uint8_t code, QByteArrayView value);
    void answer(std::uint8_t code, QByteArrayView value);
    void answer(std::uint8_t code, std::uint8_t value);
    void setBaudRate(QByteArrayView value);
    void setLine(std::uint8_t code, std::uint8_t value);
    void control(std::uint8_t value);
    std::uint8_t flowAnswer(bool inbound) const;
    void notifyModem(bool always);
    void flush();

    Socket& socket_;
    PortLine& line_;
    TelnetCodec codec_;
    Mode mode_ = Mode::Undecided;
    QByteArray head_;     // a lone IAC received while undecided
    QByteArray toSerial_; // data of the chunk being received
    int graceLeft_ = graceTicks;
    bool suspended_ = false;
    bool notified_ = false;        // the first modem state has been sent
    bool commanded_ = false;       // the chunk being received held a command
    std::uint8_t modemMask_ = 255; // initial masks as the protocol sets them
    std::uint8_t lineMask_ = 0;
};
