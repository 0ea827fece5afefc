#include "session/PortLine.h"

#include "session/SessionSettings.h"
#include "session/StatusSink.h"

#include <QStringList>

namespace {

const char* const kFlowNames[] = {"no flow control", "Xon/Xoff flow control",
                                  "hardware flow control"};

QString onOff(const char* name, bool on) {
    return QLatin1String(name) + (on ? QLatin1String(" on") : QLatin1String(" off"));
}

} // namespace

QString PortLine::flowName(int handshaking) {
    return QLatin1String(kFlowNames[qBound(0, handshaking, 2)]);
}

PortLine::PortLine(SerialPort& port, const SessionSettings& settings, StatusSink& sink, Purge purge)
    : port_(port)
    , settings_(settings)
    , sink_(sink)
    , purge_(std::move(purge))
    , logged_(sessionOwn()) {}

bool PortLine::applies() const {
    return !settings_.virtualPort;
}

SerialLineSettings PortLine::line() const {
    const auto parsed =
        SerialLineSettings::parse(applies() ? port_.settings() : settings_.lineSettings);
    return parsed.value_or(SerialLineSettings{});
}

bool PortLine::setLine(const SerialLineSettings& line) {
    return applies() && port_.setSettings(line.toString()).ok();
}

int PortLine::handshaking() const {
    return applies() ? port_.handshaking() : settings_.handshaking;
}

void PortLine::setHandshaking(int mode) {
    if (applies())
        port_.setHandshaking(mode);
}

bool PortLine::dtr() const {
    return applies() ? port_.lineSwitch() : settings_.lineSwitch;
}

void PortLine::setDtr(bool on) {
    if (applies())
        port_.setLineSwitch(on);
}

bool PortLine::rts() const {
    return !applies() || port_.requestToSend();
}

void PortLine::setRts(bool on) {
    if (applies())
        port_.setRequestToSend(on);
}

bool PortLine::breakOn() const {
    return applies() && port_.breakOn();
}

void PortLine::setBreak(bool on) {
    if (applies())
        port_.setBreak(on);
}

std::uint8_t PortLine::modemState() const {
    const auto lines = applies() ? port_.modemLines() : std::nullopt;
    if (!lines)
        return 0;
    return std::uint8_t((lines->carrier ? 0x80 : 0) | (lines->ring ? 0x40 : 0) |
                        (lines->dsr ? 0x20 : 0) | (lines->cts ? 0x10 : 0));
}

bool PortLine::hasStatusLines() const {
    return applies() && (port_.modemLines() || port_.lineErrorCounts());
}

PortLine::Changes PortLine::poll() {
    Changes changes;
    const std::uint8_t modem = modemState();
    const std::uint8_t changed = modem ^ lastModem_;
    if (changed != 0) {
        const bool ringEnded = (lastModem_ & 0x40) != 0 && (modem & 0x40) == 0;
        changes.modem = std::uint8_t(modem | (changed & 0x80 ? 0x08 : 0) | (ringEnded ? 0x04 : 0) |
                                     (changed & 0x20 ? 0x02 : 0) | (changed & 0x10 ? 0x01 : 0));
        lastModem_ = modem;
    }
    const auto errors = applies() ? port_.lineErrorCounts() : std::nullopt;
    if (errors && errorsKnown_) {
        changes.line = std::uint8_t((errors->overrun != lastErrors_.overrun ? 0x02 : 0) |
                                    (errors->parity != lastErrors_.parity ? 0x04 : 0) |
                                    (errors->framing != lastErrors_.framing ? 0x08 : 0) |
                                    (errors->breaks != lastErrors_.breaks ? 0x10 : 0));
    }
    if (errors)
        lastErrors_ = *errors;
    errorsKnown_ = errors.has_value();
    return changes;
}

PortLine::Snapshot PortLine::snapshot() const {
    return {line().toString(), handshaking(), dtr(), rts(), breakOn()};
}

PortLine::Snapshot PortLine::sessionOwn() const {
    return {settings_.lineSettings, settings_.handshaking, settings_.lineSwitch, true, false};
}

void PortLine::logChanges() {
    const Snapshot now = snapshot();
    QStringList said;
    if (now.line != logged_.line)
        said << now.line;
    if (now.handshaking != logged_.handshaking)
        said << flowName(now.handshaking);
    if (now.dtr != logged_.dtr)
        said << onOff("DTR", now.dtr);
    if (now.rts != logged_.rts)
        said << onOff("RTS", now.rts);
    if (now.breakOn != logged_.breakOn)
        said << onOff("BREAK", now.breakOn);
    logged_ = now;
    if (!said.isEmpty())
        sink_.logError(QStringLiteral("Remote set ") + said.join(QStringLiteral(", ")));
}

void PortLine::restore() {
    const Snapshot own = sessionOwn();
    if (!applies() || snapshot() == own)
        return;
    port_.setSettings(own.line);
    port_.setHandshaking(own.handshaking);
    port_.setLineSwitch(own.dtr);
    port_.setRequestToSend(true);
    port_.setBreak(false);
    logged_ = snapshot();
    sink_.logError(QStringLiteral("The last client left: the session's settings are back, ") +
                   logged_.line);
}
