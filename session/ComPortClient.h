#pragma once
// COM port control for a client session on a virtual port: the line the application sets on
// the port (baud rate, data bits, parity, stop bits, flow control) goes to the remote port
// when the connection is agreed and again whenever the application changes it. Each setting
// is sent without waiting for the answer to the one before: some servers never answer some
// of them. Answers and the remote's modem and line states are taken and dropped, since a pty
// can show none of them to the application.
//
// Where the port cannot show what the application chose (a pty shows even parity as none and
// always 8 data bits), the session's own data bits are sent, and its even parity where the
// port shows none.
//
// Servers speak first (they offer their options at once); one that is silent for quietTicks
// is offered COM-PORT-OPTION, and one that answers that with nothing within answerTicks, or
// that sends plain data first, counts as raw: data goes as it is, and no setting is sent.

#include "platform/VirtualPort.h"
#include "session/ComPortLink.h"

#include <optional>

class StatusSink;
struct SessionSettings;

class ComPortClient : public ComPortLink {
public:
    // Heartbeat periods a silent server is waited for before this end offers (250 ms), and
    // then before it counts as raw (one second).
    static constexpr int quietTicks = 5;
    static constexpr int answerTicks = 20;

    ComPortClient(Socket& socket, const VirtualPort& port, const SessionSettings& settings,
                  StatusSink& sink);

    void tick(int periods) override;
    // The application may have changed its line: what changed is sent.
    void lineChanged() override;

    // What goes to the remote port for the line an application set: the session's own
    // parity and data bits where the port cannot show the application's choice.
    static ApplicationLine wanted(const ApplicationLine& shown, const SerialLineSettings& own);

private:
    void optionChanged(TelnetCodec::Side side, std::uint8_t option, bool enabled) override;
    void subnegotiation(std::uint8_t, QByteArrayView) override {}

    void set(std::uint8_t code, QByteArrayView value);

    const VirtualPort& port_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    std::optional<ApplicationLine> sent_; // what the remote port was last told
    bool offered_ = false;
};
