#include "session/ComPortServer.h"

#include "platform/Socket.h"
#include "session/ComPortCodes.h"
#include "session/PortLine.h"
#include "session/SessionHeartbeat.h"

#include <limits>
#include <utility>

using namespace ComPortCodes;

namespace {

std::uint8_t byteAt(QByteArrayView value) {
    return value.isEmpty() ? 0 : static_cast<std::uint8_t>(value.front());
}

// BREAK, DTR and RTS in SET-CONTROL: the first value asks for the state, the next two switch
// it on and off.
struct LineSwitch {
    std::uint8_t ask;
    bool (PortLine::*get)() const;
    void (PortLine::*set)(bool);
};
constexpr LineSwitch kSwitches[] = {{4, &PortLine::breakOn, &PortLine::setBreak},
                                    {7, &PortLine::dtr, &PortLine::setDtr},
                                    {10, &PortLine::rts, &PortLine::setRts}};

} // namespace

ComPortServer::ComPortServer(Socket& socket, PortLine& line)
    : ComPortLink(socket, graceTicks, TelnetCodec::Him)
    , line_(line) {}

void ComPortServer::decoded() {
    if (std::exchange(commanded_, false))
        line_.logChanges(); // only chunks with commands can have changed the line
}

void ComPortServer::tick(int periods) {
    if (mode() == Mode::Undecided && graceOver(periods, graceTicks))
        becomeRaw(); // a lone byte it sent goes with its next ones
    flush();
}

void ComPortServer::optionChanged(TelnetCodec::Side, std::uint8_t option, bool enabled) {
    if (option != TelnetCodec::ComPort || !enabled || notified_)
        return;
    // Clients read the modem lines only once a first state has come, so one is sent now,
    // whatever the lines are; later ones follow changes under the client's mask.
    notifyModem(true);
    SessionHeartbeat::instance().wake(); // the lines are watched from now on
}

void ComPortServer::notify(std::uint8_t modemState, std::uint8_t lineState) {
    if (!controlsPort())
        return;
    if ((modemState & modemMask_) != 0)
        answer(NotifyModemState, std::uint8_t(modemState & modemMask_));
    if ((lineState & lineMask_) != 0)
        answer(NotifyLineState, std::uint8_t(lineState & lineMask_));
    flush();
}

void ComPortServer::notifyModem(bool always) {
    const auto state = std::uint8_t(line_.modemState() & modemMask_);
    if (always || state != 0)
        answer(NotifyModemState, state);
    notified_ = true;
}

void ComPortServer::subnegotiation(std::uint8_t option, QByteArrayView payload) {
    if (option == TelnetCodec::ComPort && !payload.isEmpty())
        command(static_cast<std::uint8_t>(payload.front()), payload.sliced(1));
}

void ComPortServer::answer(std::uint8_t code, QByteArrayView value) {
    QByteArray payload(1, char(code + serverOffset));
    codec_.sendSubnegotiation(TelnetCodec::ComPort, payload.append(value));
}

void ComPortServer::answer(std::uint8_t code, std::uint8_t value) {
    const char byte = char(value);
    answer(code, QByteArrayView(&byte, 1));
}

void ComPortServer::command(std::uint8_t code, QByteArrayView value) {
    commanded_ = true;
    const std::uint8_t v = byteAt(value);
    switch (code) {
    case Signature:
        if (value.isEmpty())
            answer(code, QByteArrayView("Lumivex " LUMIVEX_VERSION));
        break;
    case SetBaudRate:
        setBaudRate(value);
        break;
    case SetDataSize:
    case SetParity:
    case SetStopSize:
        setLine(code, v);
        break;
    case SetControl:
        control(v);
        break;
    case NotifyModemState: // a client asking for the state now
        notifyModem(true);
        break;
    case FlowSuspend:
    case FlowResume:
        setSuspended(code == FlowSuspend);
        break;
    case SetLineStateMask:
        lineMask_ = v;
        answer(code, v);
        break;
    case SetModemStateMask:
        modemMask_ = v;
        answer(code, v);
        break;
    case PurgeData:
        if (v < 1 || v > 3)
            break;
        if (v & 2)
            dropReceived(); // received before the purge: on its way to the device
        line_.purge(v & 1, v & 2);
        answer(code, v);
        break;
    default:
        break;
    }
}

// Four bytes in network order; 0 asks for the rate in force, which every answer tells.
void ComPortServer::setBaudRate(QByteArrayView value) {
    if (value.size() < 4)
        return;
    quint32 rate = 0;
    for (int i = 0; i < 4; ++i)
        rate = (rate << 8) | static_cast<std::uint8_t>(value[i]);
    SerialLineSettings line = line_.line();
    if (rate != 0 && rate <= quint32(std::numeric_limits<qint32>::max())) {
        line.baudRate = qint32(rate);
        line_.setLine(line);
    }
    answer(SetBaudRate, rateBytes(quint32(line_.line().baudRate)));
}

// Data size, parity or stop size; 0 (and a value out of range) asks for the one in force.
void ComPortServer::setLine(std::uint8_t code, std::uint8_t value) {
    SerialLineSettings line = line_.line();
    const SerialLineSettings before = line;
    if (code == SetDataSize && value >= 5 && value <= 8)
        line.dataBits = value;
    else if (code == SetParity && !parityOf(value).isNull())
        line.parity = parityOf(value);
    else if (code == SetStopSize && value >= 1 && value <= 3)
        line.stopBits = stopOf(value);
    if (line != before)
        line_.setLine(line);
    const SerialLineSettings now = line_.line();
    if (code == SetDataSize)
        answer(code, std::uint8_t(now.dataBits));
    else if (code == SetParity)
        answer(code, parityCode(now.parity));
    else
        answer(code, stopCode(now.stopBits));
}

std::uint8_t ComPortServer::flowAnswer(bool inbound) const {
    return std::uint8_t((inbound ? 13 : 0) + flowCode(line_.handshaking()));
}

// The SET-CONTROL values: flow control (both directions share the port's one setting), BREAK,
// DTR and RTS, each set or asked for, and answered with the state in force.
void ComPortServer::control(std::uint8_t value) {
    for (const LineSwitch& s : kSwitches) {
        if (value < s.ask || value > s.ask + 2)
            continue;
        if (value != s.ask)
            (line_.*s.set)(value == s.ask + 1);
        answer(SetControl, std::uint8_t((line_.*s.get)() ? s.ask + 1 : s.ask + 2));
        return;
    }
    if (value > 19)
        return;
    // Outbound 0-3 and inbound 13-16: ask, none, Xon/Xoff, hardware. 17-19 ask for DCD, DTR
    // and DSR flow control, which the port has none of: the setting in force is the answer.
    if (value >= 1 && value <= 3)
        line_.setHandshaking(value - 1);
    else if (value >= 14 && value <= 16)
        line_.setHandshaking(value - 14);
    answer(SetControl, flowAnswer((value >= 13 && value <= 16) || value == 18));
}
