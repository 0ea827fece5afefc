#pragma once
// COM port control for one client of a server session: the COM-PORT-OPTION commands with
// which it sets the shared port line (baud rate, data size, parity, stop size, flow control,
// DTR, RTS, BREAK, purges) and hears of modem and line state changes under its own masks.
//
// The server listens first: an RFC 2217 client opens with IAC and a negotiation. A client that
// says nothing gets raw data once graceTicks have passed.

#include "session/ComPortLink.h"

class PortLine;

class ComPortServer : public ComPortLink {
public:
    // Heartbeat periods a silent client waits before it counts as raw (half a second).
    static constexpr int graceTicks = 10;

    ComPortServer(Socket& socket, PortLine& line);

    void tick(int periods) override;
    void notify(std::uint8_t modemState, std::uint8_t lineState) override;

private:
    void optionChanged(TelnetCodec::Side side, std::uint8_t option, bool enabled) override;
    void subnegotiation(std::uint8_t option, QByteArrayView payload) override;
    void decoded() override;

    void command(std::uint8_t code, QByteArrayView value);
    void answer(std::uint8_t code, QByteArrayView value);
    void answer(std::uint8_t code, std::uint8_t value);
    void setBaudRate(QByteArrayView value);
    void setLine(std::uint8_t code, std::uint8_t value);
    void control(std::uint8_t value);
    std::uint8_t flowAnswer(bool inbound) const;
    void notifyModem(bool always);

    PortLine& line_;
    bool notified_ = false;        // the first modem state has been sent
    bool commanded_ = false;       // the chunk being received held a command
    std::uint8_t modemMask_ = 255; // initial masks as the protocol sets them
    std::uint8_t lineMask_ = 0;
};
