#include "session/Bridge.h"

#include "model/GlobalSettings.h"
#include "platform/SerialPort.h"
#include "platform/VirtualPort.h"
#include "session/ComPortClient.h"
#include "session/SessionHeartbeat.h"

namespace {
const QString kRetryNote = QStringLiteral(" - trying again every 5 s");
}

Bridge::Bridge(const SessionSettings& settings, SerialPort& port, VirtualPort& virtualPort,
               SocketArray& sockets, StatusSink& sink)
    : settings_(settings)
    , sink_(sink)
    , virtualPort_(virtualPort)
    , serial_(port, virtualPort, settings_, sink)
    , line_(port, settings_, sink,
            [this](bool receive, bool transmit) { purge(receive, transmit); })
    , network_(sockets, settings_, sink, line_)
    , serialToNetwork_(settings_, serial_, network_, sink)
    , networkToSerial_(settings_, serial_, network_, sink)
    , linkMonitor_(network_) {
    retryTimer_.setInterval(retryInterval);
    connect(&retryTimer_, &QTimer::timeout, this, &Bridge::retryTick);
    connect(&network_.client(), &ClientConnection::connected, this, &Bridge::connectionMade);
    connect(&virtualPort, &VirtualPort::lineChanged, this, [this] {
        if (ComPortLink* link = network_.comPort(0))
            link->lineChanged();
    });
    connect(&network_.client(), &ClientConnection::connectFailed, this,
            [this] { serialToNetwork_.dropHeldForConnect(); });
    connect(&network_, &NetworkSide::drainNeeded, this, [this] { networkToSerial_.move(); });
    connect(&serial_, &SerialSide::reopened, this, [this] { networkToSerial_.move(); });
}

Bridge::~Bridge() = default;

Bridge::Opening Bridge::open(bool waitIfMissing) {
    if (!serial_.isOpen()) {
        const OpenAttempt attempt = serial_.open();
        if (!attempt.opened)
            return waitOrFail(attempt, StatusSink::Serial, waitIfMissing);
    }
    const OpenAttempt attempt = network_.open();
    if (attempt.opened) {
        retryTimer_.stop();
        return Opening::Done;
    }
    const Opening outcome = waitOrFail(attempt, StatusSink::Network, waitIfMissing);
    if (outcome == Opening::Failed)
        serial_.rollBack();
    return outcome;
}

// Once waiting, every failure waits: the session is to be active, and the status says why
// it is not yet.
Bridge::Opening Bridge::waitOrFail(const OpenAttempt& attempt, StatusSink::Side side,
                                   bool waitIfMissing) {
    const bool wait = isWaiting() || (waitIfMissing && attempt.notThereYet);
    sink_.showStatus(side, wait ? attempt.failure + kRetryNote : attempt.failure);
    if (!wait)
        return Opening::Failed;
    retryTimer_.start();
    return Opening::Waiting;
}

void Bridge::retryTick() {
    if (open(true) == Opening::Done)
        start();
}

void Bridge::start() {
    running_ = true;
    if (serial_.applicationHasPort())
        virtualPortOpenClose(true);
    if (serial_.hasInput()) {
        if (serial_.isVirtual())
            serialToNetwork_.virtualPortData();
        else
            serialToNetwork_.portEvent(SerialPort::EventReceive);
    }
    SessionHeartbeat::instance().wake();
}

bool Bridge::close() {
    if (!serial_.close())
        return false;
    retryTimer_.stop();
    network_.close();
    running_ = false;
    return true;
}

// With COM port control the connection starts by finding out whether the server speaks
// Telnet. A connection made only to deliver the bytes of an application that has left
// takes them raw.
void Bridge::connectionMade() {
    if (settings_.sendsApplicationLine() && !network_.client().closesOnceMade())
        network_.controlPort(
            std::make_unique<ComPortClient>(network_.socket(0), virtualPort_, settings_, sink_));
    serialToNetwork_.resume();
}

void Bridge::settingChanged() {
    // What a tick has to do may have changed (held bytes to drop, pings to count).
    SessionHeartbeat::instance().wake();
}

void Bridge::setOptions(const IoOptions& options) {
    const bool watched = settings_.sendsApplicationLine();
    settings_.options = options;
    if (!watched && serial_.isOpen())
        serial_.watchApplicationLine();
    settingChanged();
}

void Bridge::setBufferSerialData(bool on) {
    settings_.bufferSerialData = on;
    settingChanged();
}

void Bridge::setWaitForTimeout(bool on) {
    settings_.waitForTimeout = on;
    settingChanged();
}

void Bridge::setTimeoutValue(double ms) {
    settings_.timeoutMs = ms;
    settingChanged();
}

void Bridge::serialPortEvent(int kind) {
    if (kind == SerialPort::EventDeviceGone)
        serial_.deviceGone();
    else
        serialToNetwork_.portEvent(kind);
}

// Acts on what is true now: an event that an application's later open or close has
// overtaken changes nothing.
void Bridge::virtualPortOpenClose(bool opened) {
    if (opened != serial_.applicationHasPort())
        return;
    if (opened)
        networkToSerial_.move(); // bytes held for the application go to it at once
    network_.client().followApplication(opened, !serialToNetwork_.buffer().isEmpty());
}

void Bridge::dataArrival(int index) {
    linkMonitor_.dataArrived();
    networkToSerial_.dataArrival(index);
}

// What a COM port client asked to be discarded: the bytes on their way from the device, or to it.
void Bridge::purge(bool receive, bool transmit) {
    if (receive) {
        serialToNetwork_.buffer().clear();
        serial_.discardInput();
    }
    if (transmit) {
        networkToSerial_.buffer().clear();
        serial_.discardOutput();
    }
}

void Bridge::tick(int periods) {
    network_.comPortTick(periods);
    networkToSerial_.tick();
    if (serialToNetwork_.buffer().isEmpty())
        linkMonitor_.tick(periods);
    else
        serialToNetwork_.timeoutStep();
    // Bytes left in the port while the send queues were full go on here at the latest.
    serialToNetwork_.resume();
}

int Bridge::ticksUntilDue() const {
    if (serialToNetwork_.needsTicks() || networkToSerial_.needsTicks())
        return 1;
    const int comPort = network_.comPortTicksUntilDue();
    if (comPort == 1 || settings_.udp || globals().PingEnabled == 0 || !network_.anyConnected())
        return comPort;
    const int ping = linkMonitor_.ticksUntilPass();
    return comPort == 0 ? ping : std::min(comPort, ping);
}
