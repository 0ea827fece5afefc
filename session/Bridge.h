#pragma once
// One activation of a session: its serial side and network side, the two transfer paths
// between them with their buffers, the link monitor, and the timers that belong to them.
// Activation creates it and deactivation destroys it, so everything it holds starts afresh
// each time and nothing of an old activation can act on a new one.
//
// It reads the settings taken from the window at activation; later changes come through its
// setters. The window's event handlers forward the components' events to it and its parts.

#include "session/LinkMonitor.h"
#include "session/NetworkSide.h"
#include "session/NetworkToSerial.h"
#include "session/PortLine.h"
#include "session/SerialSide.h"
#include "session/SerialToNetwork.h"
#include "session/SessionSettings.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class SerialPort;
class VirtualPort;
class SocketArray;
class StatusSink;

class Bridge : public QObject {
    Q_OBJECT
public:
    // How often an activation that waits for its device or its local address tries again.
    static constexpr std::chrono::milliseconds retryInterval{5000};

    enum class Opening { Done, Failed, Waiting };

    Bridge(const SessionSettings& settings, SerialPort& port, VirtualPort& virtualPort,
           SocketArray& sockets, StatusSink& sink);
    ~Bridge() override;

    // Opens the serial side, then the network side, as the activation does; a failure shows
    // why and leaves nothing open. With waitIfMissing, a device or a local address that is
    // not there yet makes it wait instead: it tries again every 5 s until both sides are open
    // (and then starts by itself), keeping open what it has.
    Opening open(bool waitIfMissing);
    // Starts moving bytes once the window shows the session active; what happened while it
    // was being opened (an application that opened the virtual port, bytes waiting) is taken
    // up now.
    void start();
    bool isRunning() const { return running_; }
    bool isWaiting() const { return retryTimer_.isActive(); }
    void retryTick();
    // Deactivation's closing steps; false when the virtual port cannot be deleted, and then
    // nothing is closed.
    bool close();

    // Changes made while running.
    void setOptions(const IoOptions& options);
    void setBufferSerialData(bool on);
    void setWaitForTimeout(bool on);
    void setTimeoutValue(double ms);
    // Used when the device is opened again (after it went away, or while waiting for it).
    void setLineSettings(const QString& settings) { settings_.lineSettings = settings; }

    // Component events that concern more than one part.
    void serialPortEvent(int kind);
    void virtualPortOpenClose(bool opened);
    void dataArrival(int index);
    // The heartbeat tick after the lights: serial output, then the transmit timeout or, with
    // nothing held, the link monitor. periods: heartbeat periods since the last tick.
    void tick(int periods);
    // In how many heartbeat periods the bridge next has something to do; 0 for nothing.
    int ticksUntilDue() const;

    SerialSide& serial() { return serial_; }
    NetworkSide& network() { return network_; }
    SerialToNetwork& serialToNetwork() { return serialToNetwork_; }
    const SerialToNetwork& serialToNetwork() const { return serialToNetwork_; }
    NetworkToSerial& networkToSerial() { return networkToSerial_; }
    const NetworkToSerial& networkToSerial() const { return networkToSerial_; }
    LinkMonitor& linkMonitor() { return linkMonitor_; }
    const LinkMonitor& linkMonitor() const { return linkMonitor_; }

private:
    Opening waitOrFail(const OpenAttempt& attempt, StatusSink::Side side, bool waitIfMissing);
    void settingChanged();
    void purge(bool receive, bool transmit);
    void connectionMade();

    SessionSettings settings_;
    StatusSink& sink_;
    VirtualPort& virtualPort_;
    SerialSide serial_;
    PortLine line_;
    NetworkSide network_;
    SerialToNetwork serialToNetwork_;
    NetworkToSerial networkToSerial_;
    LinkMonitor linkMonitor_;
    QTimer retryTimer_;
    bool running_ = false;
};
