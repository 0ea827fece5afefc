#include "platform/linux/LinuxSerialPort.h"

#include "platform/ComPortNames.h"
#include "platform/linux/SyscallDeadline.h"

#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <cerrno>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int maxQueueSize = 16 * 1024 * 1024;
// Errors in a row, without hang-up and without data between them, that mean the device is gone.
constexpr int maxUnconfirmedErrors = 100;
// The longest a close may wait for the device: see closeDevice().
constexpr std::chrono::milliseconds closeBound{100};

// What the user sees for a device that does not exist: the link's target when the path is
// a dangling mapping, else the path itself.
QString missingDevice(const QString& path) {
    const QString target = QFileInfo(path).symLinkTarget();
    return target.isEmpty() ? path : target;
}

// Slaves of Unix 98 ptys have majors 136 to 143.
bool isPseudoTerminal(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

// A hung-up tty (unplugged, or a pty whose master closed) polls as hang-up or error.
bool deviceHungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

QSerialPort::FlowControl qtFlowControl(int handshaking) {
    switch (handshaking) {
    case 1:
        return QSerialPort::SoftwareControl;
    case 2:
        return QSerialPort::HardwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}

} // namespace

std::unique_ptr<SerialPort> createSerialPort(QObject* parent) {
    return std::make_unique<LinuxSerialPort>(parent);
}

LinuxSerialPort::LinuxSerialPort(QObject* parent)
    : SerialPort(parent)
    , port_(this)
    , hangUps_(this) {
    connect(&port_, &QSerialPort::readyRead, this, &LinuxSerialPort::onReadyRead);
    connect(&port_, &QSerialPort::bytesWritten, this, &LinuxSerialPort::onBytesWritten);
    connect(&port_, &QSerialPort::errorOccurred, this, &LinuxSerialPort::onErrorOccurred);
    connect(&hangUps_, &HangUpNotifier::activated, this, &LinuxSerialPort::onHangUp);
}

LinuxSerialPort::~LinuxSerialPort() {
    closeDevice();
}

ComponentResult LinuxSerialPort::setSettings(const QString& settings) {
    QString why;
    const auto parsed = SerialLineSettings::parse(settings, &why);
    if (!parsed) {
        lastError_ = why;
        return ComponentResult::failure(InvalidValue, why);
    }
    const SerialLineSettings previous = line_;
    line_ = *parsed;
    if (port_.isOpen() && !applyLineSettings()) {
        line_ = previous;
        applyLineSettings();
        return ComponentResult::failure(DeviceFailure, lastError_);
    }
    return ComponentResult::success();
}

ComponentResult LinuxSerialPort::setCommPort(int n) {
    if (port_.isOpen()) {
        lastError_ = QStringLiteral("%1 is open: close it before changing the port number")
                         .arg(comPortName(commPort_));
        return ComponentResult::failure(PortAlreadyOpen, lastError_);
    }
    if (n < 1 || n > maxComPortNumber) {
        lastError_ = QStringLiteral("invalid port number %1").arg(n);
        return ComponentResult::failure(InvalidPortNumber, lastError_);
    }
    commPort_ = n;
    return ComponentResult::success();
}

ComponentResult LinuxSerialPort::setHandshaking(int mode) {
    if (mode < 0 || mode > 2) {
        lastError_ =
            QStringLiteral("invalid handshaking %1 (0 none, 1 Xon/Xoff, 2 hardware)").arg(mode);
        return ComponentResult::failure(InvalidValue, lastError_);
    }
    const int previous = handshaking_;
    handshaking_ = mode;
    if (port_.isOpen() && !applyLineSettings()) {
        handshaking_ = previous;
        applyLineSettings();
        return ComponentResult::failure(DeviceFailure, lastError_);
    }
    return ComponentResult::success();
}

void LinuxSerialPort::setLineSwitch(bool on) {
    lineSwitch_ = on;
    if (port_.isOpen())
        applyModemOutputs();
}

void LinuxSerialPort::setRequestToSend(bool on) {
    requestToSend_ = on;
    if (port_.isOpen())
        applyModemOutputs();
}

void LinuxSerialPort::setBreak(bool on) {
    break_ = on;
    if (!port_.isOpen())
        return;
    QScopedValueRollback guard(inCall_, true);
    port_.setBreakEnabled(on);
    port_.clearError();
}

std::optional<SerialPort::ModemLines> LinuxSerialPort::modemLines() const {
    int bits = 0;
    if (!port_.isOpen() || ::ioctl(port_.handle(), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ModemLines{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_RI) != 0,
                      (bits & TIOCM_CD) != 0};
}

std::optional<SerialPort::LineErrorCounts> LinuxSerialPort::lineErrorCounts() const {
    serial_icounter_struct counts{};
    if (!port_.isOpen() || ::ioctl(port_.handle(), TIOCGICOUNT, &counts) != 0)
        return std::nullopt;
    return LineErrorCounts{counts.overrun + counts.buf_overrun, counts.parity, counts.frame,
                           counts.brk};
}

ComponentResult LinuxSerialPort::setInBufferSize(int bytes) {
    if (bytes < 1 || bytes > maxQueueSize) {
        lastError_ = QStringLiteral("invalid receive queue size %1").arg(bytes);
        return ComponentResult::failure(InvalidValue, lastError_);
    }
    inBufferSize_ = bytes;
    port_.setReadBufferSize(bytes);
    return ComponentResult::success();
}

ComponentResult LinuxSerialPort::setOutBufferSize(int bytes) {
    if (bytes < 1 || bytes > maxQueueSize) {
        lastError_ = QStringLiteral("invalid transmit queue size %1").arg(bytes);
        return ComponentResult::failure(InvalidValue, lastError_);
    }
    outBufferSize_ = bytes;
    return ComponentResult::success();
}

int LinuxSerialPort::outBufferCount() const {
    if (!port_.isOpen())
        return 0;
    int inDriver = 0;
    if (::ioctl(port_.handle(), TIOCOUTQ, &inDriver) != 0)
        inDriver = 0;
    return static_cast<int>(qMin<qint64>(port_.bytesToWrite() + inDriver, maxQueueSize));
}

ComponentResult LinuxSerialPort::setPortOpen(bool open) {
    if (!open) {
        kept_.clear();
        closeDevice();
        return ComponentResult::success();
    }
    if (port_.isOpen()) {
        lastError_ = QStringLiteral("%1 is already open").arg(comPortName(commPort_));
        return ComponentResult::failure(PortAlreadyOpen, lastError_);
    }
    return this->open();
}

ComponentResult LinuxSerialPort::open() {
    QScopedValueRollback guard(inCall_, true);
    const QString name = comPortName(commPort_);
    const QString path = comDevicePath(commPort_);
    // The canonical device, so that every way of naming it shares one lock file.
    const QString device = QFileInfo(path).canonicalFilePath();
    devicePath_ = device.isEmpty() ? path : device;
    if (device.isEmpty())
        return openFailure(QStringLiteral("%1: no such device %2").arg(name, missingDevice(path)));
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return openFailure(QStringLiteral("%1: permission denied (%2)").arg(name, device));

    port_.setPortName(device);
    port_.setReadBufferSize(inBufferSize_);
    if (!port_.open(QIODevice::ReadWrite)) {
        switch (port_.error()) {
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            return openFailure(
                QStringLiteral("%1: in use by another program (%2)").arg(name, device));
        case QSerialPort::DeviceNotFoundError:
            return openFailure(QStringLiteral("%1: no such device %2").arg(name, device));
        default:
            return openFailure(
                QStringLiteral("%1: cannot open %2: %3").arg(name, device, port_.errorString()));
        }
    }
    if (!lockExclusively()) {
        closeDevice();
        return openFailure(QStringLiteral("%1: in use by another program (%2)").arg(name, device));
    }
    if (!applyLineSettings()) {
        const QString why = lastError_;
        closeDevice();
        return openFailure(QStringLiteral("%1: %2").arg(name, why));
    }
    break_ = false; // a BREAK never outlives the open that started it
    applyModemOutputs();
    goneReported_ = false;
    unconfirmedErrors_ = 0;
    commEvent_ = NoEvent;
    port_.clearError();
    hangUps_.watch(port_.handle());
    if (!kept_.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { raise(EventReceive); }, Qt::QueuedConnection);
    return ComponentResult::success();
}

ComponentResult LinuxSerialPort::openFailure(const QString& why) {
    lastError_ = why;
    return ComponentResult::failure(DeviceUnavailable, why);
}

// Qt's lock file covers other programs that use lock files; flock() on the open device
// also stops a second opener in this process, and TIOCEXCL stops plain open() calls of
// unprivileged programs.
bool LinuxSerialPort::lockExclusively() {
    const int fd = port_.handle();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    ::ioctl(fd, TIOCEXCL);
    return true;
}

bool LinuxSerialPort::applyLineSettings() {
    QScopedValueRollback guard(inCall_, true);
    // A pty keeps 8 data bits without parity whatever is asked and refuses the request; its
    // other settings still apply. That refusal is no failure of the port.
    const bool fixedFormat = isPseudoTerminal(port_.handle());
    bool ok = port_.setBaudRate(line_.baudRate);
    ok = ok && (port_.setDataBits(line_.qtDataBits()) || fixedFormat);
    ok = ok && (port_.setParity(line_.qtParity()) || fixedFormat);
    ok = ok && port_.setStopBits(line_.qtStopBits());
    ok = ok && port_.setFlowControl(qtFlowControl(handshaking_));
    ok = ok && mendTermios(fixedFormat);
    if (!ok)
        lastError_ = QStringLiteral("the device refused the settings %1: %2")
                         .arg(line_.toString(), port_.errorString());
    port_.clearError();
    return ok;
}

// Qt sets CMSPAR for Mark and Space but never clears it again; with it left set, Even would
// send Space and Odd would send Mark. A pty refuses parity, after which Qt takes later parity
// changes for no change at all: there the odd and mark/space bits, which a pty does keep, are
// set here to what was asked.
bool LinuxSerialPort::mendTermios(bool fixedFormat) {
    termios tio{};
    if (::tcgetattr(port_.handle(), &tio) != 0)
        return false;
    const char parity = line_.parity.toLatin1();
    const bool markOrSpace = parity == 'M' || parity == 'S';
    tcflag_t flags = tio.c_cflag;
    if (!markOrSpace)
        flags &= ~CMSPAR;
    if (fixedFormat) {
        flags &= ~(PARODD | CMSPAR);
        flags |= (parity == 'O' || parity == 'M' ? PARODD : 0) | (markOrSpace ? CMSPAR : 0);
    }
    if (flags == tio.c_cflag)
        return true;
    tio.c_cflag = flags;
    return ::tcsetattr(port_.handle(), TCSANOW, &tio) == 0;
}

// A device without modem lines (a pty) refuses DTR and RTS; that is no failure of the port.
// Under hardware flow control RTS belongs to the driver.
void LinuxSerialPort::applyModemOutputs() {
    QScopedValueRollback guard(inCall_, true);
    port_.setDataTerminalReady(lineSwitch_);
    if (handshaking_ != 2)
        port_.setRequestToSend(requestToSend_);
    port_.clearError();
}

int LinuxSerialPort::inBufferCount() const {
    const qint64 buffered = port_.isOpen() ? port_.bytesAvailable() : 0;
    return static_cast<int>(kept_.size() + buffered);
}

void LinuxSerialPort::setInBufferCount(int count) {
    if (count != 0)
        return;
    kept_.clear();
    if (!port_.isOpen())
        return;
    QScopedValueRollback guard(inCall_, true);
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

void LinuxSerialPort::discardOutput() {
    if (!port_.isOpen())
        return;
    QScopedValueRollback guard(inCall_, true);
    port_.clear(QSerialPort::Output);
}

QByteArray LinuxSerialPort::input(int maxBytes) {
    if (maxBytes <= 0)
        return {};
    QByteArray data = kept_.left(maxBytes);
    kept_.remove(0, data.size());
    if (!port_.isOpen() || data.size() == maxBytes)
        return data;
    data += port_.read(qMin<qint64>(maxBytes - data.size(), port_.bytesAvailable()));
    // Qt reads from the device again only after a read reaches past its buffer.
    if (port_.bytesAvailable() == 0)
        data += port_.read(1);
    return data;
}

int LinuxSerialPort::outputRoom() const {
    return port_.isOpen() ? qMax(0, outBufferSize_ - outBufferCount()) : 0;
}

ComponentResult LinuxSerialPort::output(const QByteArray& bytes, int* taken) {
    if (taken)
        *taken = 0;
    if (!port_.isOpen()) {
        lastError_ = QStringLiteral("%1 is not open").arg(comPortName(commPort_));
        return ComponentResult::failure(PortNotOpen, lastError_);
    }
    QScopedValueRollback guard(inCall_, true);
    const int size = qMin(static_cast<int>(bytes.size()), outputRoom());
    if (size < bytes.size())
        roomWanted_ = true;
    if (size > 0 && port_.write(bytes.constData(), size) != size) {
        lastError_ =
            QStringLiteral("%1: write failed: %2").arg(comPortName(commPort_), port_.errorString());
        port_.clearError();
        return ComponentResult::failure(DeviceFailure, lastError_);
    }
    // On to the device now rather than on the next pass of the event loop: a request and
    // response protocol feels every pass.
    // The second flush closes Qt's write sequence at once (it would otherwise wait for the
    // device to poll writable on the next pass of the event loop).
    if (size > 0 && port_.flush())
        port_.flush();
    if (taken)
        *taken = size;
    return ComponentResult::success();
}

// Only a caller that was cut short waits for room. It hears of it on a later pass of the event
// loop: never from inside the call that wrote, and never from inside Qt's own bytesWritten,
// whose bookkeeping a nested write would upset.
void LinuxSerialPort::onBytesWritten() {
    if (!roomWanted_ || roomPending_)
        return;
    roomPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            roomPending_ = false;
            roomWanted_ = false;
            emit transmitRoom();
        },
        Qt::QueuedConnection);
}

void LinuxSerialPort::onReadyRead() {
    unconfirmedErrors_ = 0;
    raise(EventReceive);
}

// Qt keeps a failed device open and repeats the error from its notifiers in a tight loop.
// A read, write or resource error with the device hung up means it is gone: close it (after
// Qt's handler has returned) and report it once. Qt also reports a read that found nothing (a
// spurious wake-up, or another reader of the device that took the bytes first) as a resource
// error, and stops reading for good: an error without hang-up switches reading on again, and
// counts as gone only when it keeps coming.
void LinuxSerialPort::onErrorOccurred(QSerialPort::SerialPortError error) {
    if (inCall_ || goneReported_ || !port_.isOpen())
        return;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (!deviceHungUp(port_.handle()) && ++unconfirmedErrors_ < maxUnconfirmedErrors) {
        port_.clearError();
        QMetaObject::invokeMethod(this, &LinuxSerialPort::resumeReading, Qt::QueuedConnection);
        return;
    }
    deviceGone(port_.errorString());
}

// The device hung up (unplugged, or a pty whose far side closed). Qt would see it only at its
// next read, which never comes while its receive buffer is full.
void LinuxSerialPort::onHangUp() {
    if (port_.isOpen() && !goneReported_)
        deviceGone(QStringLiteral("hung up"));
}

// Reported once; the port is closed after Qt's handler (which may be running) has returned.
void LinuxSerialPort::deviceGone(const QString& why) {
    goneReported_ = true;
    hangUps_.stop();
    lastError_ =
        QStringLiteral("%1: device gone (%2): %3").arg(comPortName(commPort_), devicePath_, why);
    QMetaObject::invokeMethod(this, &LinuxSerialPort::closeGoneDevice, Qt::QueuedConnection);
}

// Setting the read buffer's size is Qt's one public way to switch its reading on again.
void LinuxSerialPort::resumeReading() {
    if (port_.isOpen() && !goneReported_)
        port_.setReadBufferSize(inBufferSize_);
}

// What the port had taken from the device is not lost with it: the caller takes what it can
// now, and the rest waits for it, also across a reopen (up to the receive queue's size, should
// devices keep coming and going while nobody reads).
void LinuxSerialPort::closeGoneDevice() {
    if (!goneReported_ || !port_.isOpen())
        return;
    if (port_.bytesAvailable() > 0)
        raise(EventReceive);
    if (!port_.isOpen())
        return; // the caller closed it meanwhile
    kept_ += port_.read(qMax<qint64>(0, inBufferSize_ - kept_.size()));
    closeDevice();
    raise(EventDeviceGone);
}

// The kernel drains the transmit queue at close, whatever the descriptor's mode, for up to the
// driver's closing_wait (30 s by default): with a device holding CTS off, or sending XOFF, or
// on a slow line, close() would stop every session and the window. So what the device has not
// taken is discarded first: Qt's buffers and the kernel's queues (tcflush). What a driver keeps
// beyond the reach of tcflush (a USB adapter's own queue, a UART FIFO that CTS holds) can still
// hold the close up; the deadline cuts that wait short, and the kernel then closes the port
// and drops the rest. (Setting closing_wait to none would also skip the wait, but it needs
// CAP_SYS_ADMIN and stays with the device for every later program.)
void LinuxSerialPort::closeDevice() {
    if (!port_.isOpen())
        return;
    hangUps_.stop();
    QScopedValueRollback guard(inCall_, true);
    port_.clear(QSerialPort::AllDirections);
    const SyscallDeadline deadline(closeBound);
    port_.close();
}

void LinuxSerialPort::raise(CommEvent event) {
    commEvent_ = event;
    emit OnComm();
}
