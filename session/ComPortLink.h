#pragma once
// One connection with Telnet COM port control, for either end: whether its peer speaks Telnet
// at all, its Telnet framing, and the commands it exchanges. The server and the client end
// differ in who speaks first and in what the commands do.
//
// The peer's first bytes decide: IAC and a negotiation (WILL/DO/...) or a subnegotiation mean
// Telnet for the rest of the connection; anything else is raw data, both ways. Until that is
// known, no data goes to the peer (the other side waits for it, as for a slow reader), so that
// a Telnet peer never sees an unescaped IAC and a raw one never sees an escaped one.

#include "session/TelnetCodec.h"

#include <QByteArray>
#include <cstdint>

class Socket;

class ComPortLink : protected TelnetCodec::Listener {
public:
    enum class Mode { Undecided, Raw, Telnet };
    // Answers held for a peer that does not read them, before its input is held back.
    static constexpr int pendingLimit = 4096;

    virtual ~ComPortLink() = default;

    Mode mode() const { return mode_; }
    // Whether COM port control is switched on, by either side.
    bool controlsPort() const;
    // Decided, and not asked by the peer to suspend: data may go to it.
    bool takesData() const { return mode_ != Mode::Undecided && !suspended_; }

    // Bytes received from the peer; returns the data among them for the serial side.
    QByteArray receive(const QByteArray& bytes);
    // Its answers wait to go out beyond pendingLimit: it takes no input until they have.
    bool answersWaiting() const { return codec_.output().size() > pendingLimit; }
    // How many received bytes it takes now when the data it returns must fit in dataRoom:
    // none while answers wait, and one fewer while it holds back a lone IAC.
    qint64 inputRoom(qint64 dataRoom) const;

    // How many leading bytes of data the connection takes now (after the commands waiting).
    qint64 fit(const QByteArray& data);
    // Sends data that fit() allowed.
    void send(const QByteArray& data);

    // A heartbeat tick: a silent peer's grace, commands that wait.
    virtual void tick(int periods) = 0;
    bool needsTicks() const;
    // The port's modem or line state changed (a server's clients hear of it).
    virtual void notify(std::uint8_t /*modemState*/, std::uint8_t /*lineState*/) {}
    // The application on the virtual port may have set its line (a client end sends it).
    virtual void lineChanged() {}

protected:
    // comPortSide: the side that performs COM-PORT-OPTION as this end asks for it (a server
    // asks the client to, DO; a client offers to, WILL).
    ComPortLink(Socket& socket, int graceTicks, TelnetCodec::Side comPortSide);

    // Asks for COM-PORT-OPTION (nothing is sent when it is on or asked for already).
    void requestComPort() { codec_.request(comPortSide_, TelnetCodec::ComPort, true); }
    // A chunk of Telnet has been decoded.
    virtual void decoded() {}
    // Counts down the grace of a silent peer; true once it has passed.
    bool graceOver(int periods, int restart);
    void becomeRaw() { mode_ = Mode::Raw; }
    void setSuspended(bool on) { suspended_ = on; }
    // The data of the chunk being received is dropped (a purge).
    void dropReceived() { toSerial_.clear(); }
    // Commands go out as far as the socket takes them; the rest waits for the next chance.
    void flush();

    TelnetCodec codec_;

private:
    QByteArray decide(const QByteArray& bytes);
    void startTelnet();

    Socket& socket_;
    const TelnetCodec::Side comPortSide_;
    Mode mode_ = Mode::Undecided;
    QByteArray head_;     // a lone IAC received while undecided
    QByteArray toSerial_; // data of the chunk being received
    int graceLeft_;
    bool suspended_ = false;
};
