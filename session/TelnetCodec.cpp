#include "session/TelnetCodec.h"

#include <algorithm>
#include <cstring>

namespace {

const char* findIac(const char* from, const char* end) {
    return static_cast<const char*>(std::memchr(from, TelnetCodec::IAC, size_t(end - from)));
}

} // namespace

TelnetCodec::TelnetCodec(Listener& listener)
    : listener_(listener) {}

bool TelnetCodec::enabled(Side side, std::uint8_t option) const {
    return options_[side][option].state == Q::Yes;
}

std::uint8_t TelnetCodec::verbFor(Side side, bool enable) {
    if (side == Us)
        return enable ? WILL : WONT;
    return enable ? DO : DONT;
}

void TelnetCodec::send(std::uint8_t verb, std::uint8_t option) {
    output_.append(char(IAC)).append(char(verb)).append(char(option));
}

void TelnetCodec::set(Side side, std::uint8_t option, Q state) {
    const bool was = enabled(side, option);
    options_[side][option].state = state;
    if (was != enabled(side, option))
        listener_.optionChanged(side, option, !was);
}

// The Q method: a request goes out only from a settled state; one made while the opposite is
// under way is queued behind it, and an answer is never answered.
void TelnetCodec::request(Side side, std::uint8_t option, bool enable) {
    OptionState& o = options_[side][option];
    const Q settledOn = enable ? Q::Yes : Q::No;
    const Q settledOff = enable ? Q::No : Q::Yes;
    if (o.state == settledOff) {
        set(side, option, enable ? Q::WantYes : Q::WantNo);
        send(verbFor(side, enable), option);
    } else if (o.state != settledOn) {
        const Q towards = enable ? Q::WantYes : Q::WantNo;
        o.opposite = o.state != towards;
    }
}

void TelnetCodec::received(Side side, std::uint8_t option, bool positive) {
    OptionState& o = options_[side][option];
    const bool queued = o.opposite;
    o.opposite = false;
    switch (o.state) {
    case Q::No:
        if (!positive)
            break;
        if (accepted_[side][option])
            set(side, option, Q::Yes);
        send(verbFor(side, accepted_[side][option]), option);
        break;
    case Q::Yes:
        if (positive)
            break;
        set(side, option, Q::No);
        send(verbFor(side, false), option);
        break;
    case Q::WantNo:
        // A positive answer to a refusal is the peer's error; the option ends as asked.
        if (!positive && queued) {
            o.state = Q::WantYes;
            send(verbFor(side, true), option);
        } else {
            set(side, option, positive && queued ? Q::Yes : Q::No);
        }
        break;
    case Q::WantYes:
        if (positive && queued) {
            o.state = Q::WantNo; // agreed, but switched off again at once as asked meanwhile
            send(verbFor(side, false), option);
        } else {
            set(side, option, positive ? Q::Yes : Q::No);
        }
        break;
    }
}

void TelnetCodec::negotiate(std::uint8_t verb, std::uint8_t option) {
    if (verb == WILL || verb == WONT)
        received(Him, option, verb == WILL);
    else
        received(Us, option, verb == DO);
}

void TelnetCodec::decode(QByteArrayView bytes, QByteArray& data) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        const auto byte = static_cast<std::uint8_t>(*p);
        switch (state_) {
        case State::Data: {
            const char* iac = findIac(p, end);
            data.append(p, (iac ? iac : end) - p);
            p = iac ? iac + 1 : end;
            if (iac)
                state_ = State::Command;
            continue;
        }
        case State::Command:
            state_ = State::Data;
            if (byte == IAC)
                data.append(char(IAC));
            else if (byte >= WILL)
                verb_ = byte, state_ = State::Option;
            else if (byte == SB)
                state_ = State::SubOption;
            // every other command (NOP, GA, AYT, ...) means nothing to a byte stream
            break;
        case State::Option:
            state_ = State::Data;
            negotiate(verb_, byte);
            break;
        case State::SubOption:
            subOption_ = byte;
            subData_.clear();
            subOverflow_ = false;
            state_ = State::SubData;
            break;
        case State::SubData: {
            const char* iac = findIac(p, end);
            const qsizetype size = (iac ? iac : end) - p;
            subOverflow_ = subOverflow_ || subData_.size() + size > subnegotiationLimit;
            if (!subOverflow_)
                subData_.append(p, size);
            p = iac ? iac + 1 : end;
            if (iac)
                state_ = State::SubCommand;
            continue;
        }
        case State::SubCommand:
            if (byte == IAC) {
                subOverflow_ = subOverflow_ || subData_.size() >= subnegotiationLimit;
                if (!subOverflow_)
                    subData_.append(char(IAC));
                state_ = State::SubData;
            } else if (byte == SE) {
                endSubnegotiation();
                state_ = State::Data;
            } else {
                // No IAC SE: the subnegotiation is malformed and dropped; the byte is a command.
                subData_.clear();
                state_ = State::Command;
                continue;
            }
            break;
        }
        ++p;
    }
}

void TelnetCodec::endSubnegotiation() {
    if (!subOverflow_)
        listener_.subnegotiation(subOption_, subData_);
    subData_.clear();
}

void TelnetCodec::sendSubnegotiation(std::uint8_t option, QByteArrayView payload) {
    output_.append(char(IAC)).append(char(SB)).append(char(option));
    output_.append(escape(payload.toByteArray()));
    output_.append(char(IAC)).append(char(SE));
}

// One pass to count, one to copy into a buffer of the final size: a stream of many IAC bytes
// costs no more than a few appends.
QByteArray TelnetCodec::escape(const QByteArray& data) {
    const auto extra = std::count(data.begin(), data.end(), char(IAC));
    if (extra == 0)
        return data;
    QByteArray out(data.size() + extra, Qt::Uninitialized);
    char* o = out.data();
    for (const char c : data) {
        *o++ = c;
        if (c == char(IAC))
            *o++ = c;
    }
    return out;
}

qsizetype TelnetCodec::fit(QByteArrayView data, qint64 room) {
    const char* const begin = data.data();
    const char* const end = begin + data.size();
    const char* p = begin;
    while (p < end && room > 0) {
        const char* iac = findIac(p, end);
        const qint64 plain = (iac ? iac : end) - p;
        if (plain >= room)
            return (p - begin) + room;
        room -= plain;
        p += plain;
        if (!iac)
            break;
        if (room < 2)
            break;
        room -= 2;
        ++p;
    }
    return p - begin;
}
