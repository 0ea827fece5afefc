#include "session/ComPortLink.h"

#include "platform/Socket.h"

#include <utility>

ComPortLink::ComPortLink(Socket& socket, int graceTicks, TelnetCodec::Side comPortSide)
    : codec_(*this)
    , socket_(socket)
    , comPortSide_(comPortSide)
    , graceLeft_(graceTicks) {
    for (const auto side : {TelnetCodec::Us, TelnetCodec::Him}) {
        for (const auto option :
             {TelnetCodec::Binary, TelnetCodec::SuppressGoAhead, TelnetCodec::ComPort})
            codec_.accept(side, option);
    }
}

bool ComPortLink::controlsPort() const {
    return mode_ == Mode::Telnet && (codec_.enabled(TelnetCodec::Him, TelnetCodec::ComPort) ||
                                     codec_.enabled(TelnetCodec::Us, TelnetCodec::ComPort));
}

QByteArray ComPortLink::receive(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {}; // a read that found nothing: an undecided peer has said nothing yet
    switch (mode_) {
    case Mode::Undecided:
        return decide(bytes);
    case Mode::Raw:
        return head_.isEmpty() ? bytes : std::exchange(head_, {}) + bytes;
    case Mode::Telnet:
        break;
    }
    codec_.decode(bytes, toSerial_);
    decoded();
    flush();
    return std::exchange(toSerial_, {});
}

// IAC IAC, or IAC with anything but a negotiation, is raw data that happens to hold 0xFF.
QByteArray ComPortLink::decide(const QByteArray& bytes) {
    head_ += bytes;
    const auto first = static_cast<std::uint8_t>(head_.front());
    if (first == TelnetCodec::IAC && head_.size() < 2)
        return {};
    const bool telnet = first == TelnetCodec::IAC &&
                        static_cast<std::uint8_t>(head_.at(1)) >= TelnetCodec::SB &&
                        static_cast<std::uint8_t>(head_.at(1)) <= TelnetCodec::DONT;
    mode_ = telnet ? Mode::Telnet : Mode::Raw;
    const QByteArray received = std::exchange(head_, {});
    if (!telnet)
        return received;
    QByteArray data = receive(received);
    startTelnet();
    flush();
    return data;
}

// What this end wants once the peer speaks Telnet; the Q method sends only what the peer's
// own requests have not already settled.
void ComPortLink::startTelnet() {
    for (const auto side : {TelnetCodec::Us, TelnetCodec::Him}) {
        codec_.request(side, TelnetCodec::Binary, true);
        codec_.request(side, TelnetCodec::SuppressGoAhead, true);
    }
    requestComPort();
}

qint64 ComPortLink::inputRoom(qint64 dataRoom) const {
    return answersWaiting() ? 0 : dataRoom - head_.size();
}

qint64 ComPortLink::fit(const QByteArray& data) {
    flush();
    if (codec_.hasOutput() || !takesData())
        return 0;
    const qint64 room = socket_.sendRoom();
    if (mode_ == Mode::Raw)
        return std::min<qint64>(data.size(), room);
    return TelnetCodec::fit(data, room);
}

void ComPortLink::send(const QByteArray& data) {
    socket_.SendData(mode_ == Mode::Telnet ? TelnetCodec::escape(data) : data);
}

bool ComPortLink::graceOver(int periods, int restart) {
    if ((graceLeft_ -= periods) > 0)
        return false;
    graceLeft_ = restart;
    return true;
}

bool ComPortLink::needsTicks() const {
    return mode_ == Mode::Undecided || codec_.hasOutput();
}

void ComPortLink::flush() {
    if (!codec_.hasOutput())
        return;
    qint64 taken = 0;
    socket_.SendData(codec_.output(), &taken);
    codec_.consumeOutput(taken);
}
