#include "session/SerialSide.h"

#include "platform/SerialPort.h"
#include "platform/VirtualPort.h"
#include "session/SessionSettings.h"
#include "session/SessionTexts.h"
#include "session/TransferBuffer.h"

using namespace SessionText;

namespace {
constexpr int kSerialQueueBytes = 8192;
}

SerialSide::SerialSide(SerialPort& port, VirtualPort& virtualPort, const SessionSettings& settings,
                       StatusSink& sink)
    : port_(port)
    , virtualPort_(virtualPort)
    , settings_(settings)
    , sink_(sink) {
    reopenTimer_.setInterval(reopenInterval);
    connect(&reopenTimer_, &QTimer::timeout, this, &SerialSide::reopenTick);
}

bool SerialSide::isVirtual() const {
    return settings_.virtualPort;
}

QString SerialSide::comName() const {
    return QStringLiteral("COM%1").arg(settings_.connector);
}

bool SerialSide::isOpen() const {
    return open_ && (isVirtual() || port_.portOpen());
}

OpenAttempt SerialSide::open() {
    const OpenAttempt attempt = isVirtual() ? createVirtualPort() : openRealPort();
    open_ = attempt.opened;
    return attempt;
}

OpenAttempt SerialSide::createVirtualPort() {
    virtualPort_.deletePort();
    if (!virtualPort_.createPort(comName()))
        return {false, false, LoadResString(CannotCreateVirtual) + QLatin1Char(' ') + comName()};
    virtualPort_.setSwitch16(true);
    virtualPort_.setSwitch13(true);
    watchApplicationLine();
    sink_.showStatus(StatusSink::Serial, LoadResString(VirtualPortName) + QLatin1Char(' ') +
                                             comName() + QLatin1Char(' ') + LoadResString(Created));
    return OpenAttempt::success();
}

// The port starts with the session's own line; what applications set is seen from now on.
void SerialSide::watchApplicationLine() {
    if (settings_.sendsApplicationLine())
        virtualPort_.watchLine(
            {SerialLineSettings::parse(settings_.lineSettings).value_or(SerialLineSettings{}),
             settings_.handshaking});
}

// Guarded: the first failing step ends the open with its description.
OpenAttempt SerialSide::openRealPort() {
    if (port_.portOpen())
        port_.setPortOpen(false);
    ComponentResult result = port_.setCommPort(settings_.connector);
    if (result)
        result = port_.setSettings(settings_.lineSettings);
    if (result)
        result = port_.setHandshaking(settings_.handshaking);
    if (result) {
        port_.setLineSwitch(settings_.lineSwitch);
        result = port_.setInBufferSize(kSerialQueueBytes);
    }
    if (result)
        result = port_.setOutBufferSize(kSerialQueueBytes);
    if (result)
        result = port_.setPortOpen(true);
    const bool missing = result.number == SerialPort::DeviceUnavailable;
    if (!result) {
        if (port_.portOpen())
            port_.setPortOpen(false);
        return {false, missing, errorText(ComStatus, result.description)};
    }
    if (!port_.portOpen())
        return {false, true, statusText(ComStatus, PortNotAvailable)};
    sink_.showStatus(StatusSink::Serial, statusText(ComStatus, Open));
    return OpenAttempt::success();
}

bool SerialSide::close() {
    reopenTimer_.stop();
    if (isVirtual()) {
        if (!virtualPort_.deletePort()) {
            sink_.showStatus(StatusSink::Serial, LoadResString(VirtualPortNotClosed));
            return false;
        }
        sink_.showStatus(StatusSink::Serial, LoadResString(VirtualPortClosed));
    } else {
        if (port_.portOpen())
            port_.setPortOpen(false);
        sink_.showStatus(StatusSink::Serial, statusText(ComStatus, Closed));
    }
    open_ = false;
    return true;
}

void SerialSide::rollBack() {
    if (isVirtual()) {
        sink_.showStatus(
            StatusSink::Serial,
            LoadResString(virtualPort_.deletePort() ? VirtualPortClosed : VirtualPortNotClosed));
    } else {
        if (port_.portOpen())
            port_.setPortOpen(false);
        sink_.showStatus(StatusSink::Serial, statusText(ComStatus, Closed));
    }
    open_ = false;
}

bool SerialSide::hasInput() const {
    if (isVirtual())
        return virtualPort_.bytesWaiting() > 0;
    return port_.portOpen() && port_.inBufferCount() > 0;
}

int SerialSide::readInto(TransferBuffer& buffer) {
    const int room = buffer.room();
    if (room <= 0 || !hasInput())
        return 0;
    if (!isVirtual())
        return buffer.append(port_.input(room));
    const int size = qMin(virtualPort_.bytesWaiting(), room);
    QByteArray bytes(size, Qt::Uninitialized);
    const int got = virtualPort_.read(bytes.data(), size);
    return buffer.append(bytes.constData(), got);
}

void SerialSide::discardInput() {
    if (isVirtual())
        virtualPort_.purge();
    else
        port_.setInBufferCount(0);
}

bool SerialSide::applicationHasPort() const {
    return isVirtual() && virtualPort_.isOpenedByApp();
}

bool SerialSide::takesOutput() const {
    return isVirtual() ? virtualPort_.isOpenedByApp() : port_.portOpen();
}

int SerialSide::write(const QByteArray& bytes) {
    if (isVirtual())
        return virtualPort_.write(bytes.constData(), int(bytes.size()));
    int taken = 0;
    port_.output(bytes, &taken);
    return taken;
}

void SerialSide::discardOutput() {
    if (!isVirtual())
        port_.discardOutput();
}

void SerialSide::deviceGone() {
    sink_.showStatus(StatusSink::Serial, errorText(ComStatus, port_.lastError()));
    reopenTimer_.start();
}

// The network side stays as it is while the device is away.
void SerialSide::reopenTick() {
    if (isVirtual() || port_.portOpen()) {
        reopenTimer_.stop();
        return;
    }
    const ComponentResult result = port_.setPortOpen(true);
    if (!result) {
        sink_.showStatus(StatusSink::Serial, errorText(ComStatus, result.description));
        return;
    }
    reopenTimer_.stop();
    sink_.showStatus(StatusSink::Serial, statusText(ComStatus, Open));
    emit reopened();
}
