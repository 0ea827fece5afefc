#include "session/ComPortClient.h"

#include "session/ComPortCodes.h"
#include "session/PortLine.h"
#include "session/SessionSettings.h"
#include "session/SessionTexts.h"
#include "session/StatusSink.h"

#include <QStringList>

using namespace ComPortCodes;

ComPortClient::ComPortClient(Socket& socket, const VirtualPort& port,
                             const SessionSettings& settings, StatusSink& sink)
    : ComPortLink(socket, quietTicks, TelnetCodec::Us)
    , port_(port)
    , settings_(settings)
    , sink_(sink) {}

ApplicationLine ComPortClient::wanted(const ApplicationLine& shown, const SerialLineSettings& own) {
    ApplicationLine line = shown;
    line.settings.dataBits = own.dataBits;
    if (shown.settings.parity == QLatin1Char('N') && own.parity == QLatin1Char('E'))
        line.settings.parity = own.parity;
    if (line.settings.baudRate == 0) // a rate without a name in termios: the session's own
        line.settings.baudRate = own.baudRate;
    return line;
}

void ComPortClient::tick(int periods) {
    if (mode() == Mode::Undecided && graceOver(periods, answerTicks)) {
        if (!offered_) {
            offered_ = true;
            requestComPort();
        } else {
            becomeRaw();
            sink_.logError(LoadResString(SessionText::RemoteTakesNoControl));
        }
    }
    flush();
}

void ComPortClient::optionChanged(TelnetCodec::Side, std::uint8_t option, bool enabled) {
    // Everything once after each connect, when the first side agrees (a server may agree to
    // both).
    if (option == TelnetCodec::ComPort && enabled && !sent_)
        lineChanged();
}

void ComPortClient::lineChanged() {
    if (!controlsPort())
        return;
    const auto own = SerialLineSettings::parse(settings_.lineSettings);
    const ApplicationLine line =
        wanted(port_.applicationLine(), own.value_or(SerialLineSettings{}));
    const SerialLineSettings& to = line.settings;
    const bool all = !sent_;
    const SerialLineSettings from = all ? SerialLineSettings{} : sent_->settings;
    QStringList said;
    if (all || to != from)
        said << to.toString();
    if (all || to.baudRate != from.baudRate)
        set(SetBaudRate, rateBytes(quint32(to.baudRate)));
    if (all || to.dataBits != from.dataBits)
        set(SetDataSize, QByteArray(1, char(to.dataBits)));
    if (all || to.parity != from.parity)
        set(SetParity, QByteArray(1, char(parityCode(to.parity))));
    if (all || to.stopBits != from.stopBits)
        set(SetStopSize, QByteArray(1, char(stopCode(to.stopBits))));
    if (all || line.handshaking != sent_->handshaking) {
        set(SetControl, QByteArray(1, char(flowCode(line.handshaking))));
        said << PortLine::flowName(line.handshaking);
    }
    sent_ = line;
    flush();
    if (!said.isEmpty())
        sink_.logError(LoadResString(SessionText::SentToRemote) + QLatin1Char(' ') +
                       said.join(QStringLiteral(", ")));
}

void ComPortClient::set(std::uint8_t code, QByteArrayView value) {
    QByteArray payload(1, char(code));
    codec_.sendSubnegotiation(TelnetCodec::ComPort, payload.append(value));
}
