#pragma once
// The Telnet framing of one connection, for either end: received bytes split into data and
// commands at any byte boundary, IAC doubled in data both ways, option negotiation kept per
// option and side by the Q method (so that two ends can never start a loop of answers), and
// subnegotiations gathered up to a bound. It does no I/O: what it has to send (answers,
// requests, subnegotiations) waits in its output until the owner takes it.

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

class TelnetCodec {
public:
    enum Byte : std::uint8_t {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
    };
    enum Option : std::uint8_t { Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPort = 44 };
    // Us: an option this end performs (WILL/WONT); Him: one the peer performs (DO/DONT).
    enum Side { Us = 0, Him = 1 };

    // A subnegotiation's payload beyond this is not kept: the whole subnegotiation is dropped.
    static constexpr int subnegotiationLimit = 512;

    class Listener {
    public:
        // An option was switched on or off on one side.
        virtual void optionChanged(Side side, std::uint8_t option, bool enabled) = 0;
        // IAC SB option payload IAC SE, the payload's IAC bytes undoubled.
        virtual void subnegotiation(std::uint8_t option, QByteArrayView payload) = 0;

    protected:
        ~Listener() = default;
    };

    explicit TelnetCodec(Listener& listener);

    // Options this end agrees to when the peer asks; every other one is refused.
    void accept(Side side, std::uint8_t option) { accepted_[side][option] = true; }
    // Asks for an option to be switched on or off (nothing is sent when it already is, or
    // when that is already being asked).
    void request(Side side, std::uint8_t option, bool enable);
    bool enabled(Side side, std::uint8_t option) const;

    // Takes received bytes; the data among them is appended to data.
    void decode(QByteArrayView bytes, QByteArray& data);

    // Queues IAC SB option payload IAC SE for sending.
    void sendSubnegotiation(std::uint8_t option, QByteArrayView payload);
    bool hasOutput() const { return !output_.isEmpty(); }
    const QByteArray& output() const { return output_; }
    void consumeOutput(qsizetype bytes) { output_.remove(0, bytes); }

    // Data as it goes on the wire: every IAC doubled (data itself, shared, when it has none).
    static QByteArray escape(const QByteArray& data);
    // How many leading bytes of data fit in room bytes once escaped.
    static qsizetype fit(QByteArrayView data, qint64 room);

private:
    enum class State { Data, Command, Option, SubOption, SubData, SubCommand };
    enum class Q : std::uint8_t { No, Yes, WantNo, WantYes };
    struct OptionState {
        Q state = Q::No;
        bool opposite = false; // the opposite change is queued behind the one under way
    };

    void command(std::uint8_t byte);
    void negotiate(std::uint8_t verb, std::uint8_t option);
    void received(Side side, std::uint8_t option, bool positive);
    void set(Side side, std::uint8_t option, Q state);
    void send(std::uint8_t verb, std::uint8_t option);
    static std::uint8_t verbFor(Side side, bool enable);
    void endSubnegotiation();

    Listener& listener_;
    std::array<std::array<OptionState, 256>, 2> options_{};
    std::array<std::array<bool, 256>, 2> accepted_{};
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    QByteArray subData_;
    bool subOverflow_ = false;
    QByteArray output_;
};
