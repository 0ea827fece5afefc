#include "platform/linux/PtyVirtualPort.h"

#include "platform/ComPortNames.h"
#include "platform/Folders.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int chunkSize = 4096;

bool portsShared = false;

QString pathOf(const std::optional<PtyPair>& pty) {
    return pty ? pty->slavePath() : QString();
}

} // namespace

void shareVirtualPortsWithGroup(bool shared) {
    portsShared = shared;
}

std::unique_ptr<VirtualPort> createVirtualPort(QObject* parent) {
    return std::make_unique<PtyVirtualPort>(parent);
}

PtyVirtualPort::PtyVirtualPort(QObject* parent)
    : VirtualPort(parent)
    , masterEvents_(this)
    , watcher_(this)
    , pollTimer_(this) {
    pollTimer_.setInterval(pollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, &PtyVirtualPort::pollOpenState);
    connect(&watcher_, &DeviceOpenWatcher::activity, this, &PtyVirtualPort::checkOpenState);
    connect(&masterEvents_, &HangUpNotifier::activated, this, &PtyVirtualPort::onMasterEvent);
}

PtyVirtualPort::~PtyVirtualPort() {
    deletePort();
}

bool PtyVirtualPort::fail(const QString& why) {
    lastError_ = why;
    return false;
}

std::optional<PtyPair> PtyVirtualPort::newPty() {
    return prepared(PtyPair::open(portsShared ? PtyPair::Sharing::Group : PtyPair::Sharing::Private,
                                  &lastError_));
}

std::optional<PtyPair> PtyVirtualPort::prepared(std::optional<PtyPair> pty) {
    if (pty)
        pty->setPacketMode();
    if (pty && initialLine_)
        pty->watchLine(*initialLine_);
    return pty;
}

void PtyVirtualPort::watchLine(const ApplicationLine& initial) {
    initialLine_ = initial;
    for (std::optional<PtyPair>* pty : {&linked_, &spare_})
        *pty = prepared(std::move(*pty));
    if (held_)
        held_->watchLine(held_->line()); // its line as it is, now watched
}

ApplicationLine PtyVirtualPort::applicationLine() const {
    if (held_)
        return held_->line();
    return linked_ ? linked_->line() : ApplicationLine{};
}

QString PtyVirtualPort::slavePath() const {
    return held_ ? held_->slavePath() : pathOf(linked_);
}

bool PtyVirtualPort::createPort(const QString& name) {
    const int n = comPortNumber(name.trimmed());
    if (n == 0)
        return fail(
            QStringLiteral("invalid port name \"%1\": expected COM and a number").arg(name));
    if (link_ && link_->name() == comPortName(n))
        return true;
    if (!deletePort())
        return false;
    if (const QString problem = preparePortsFolder(); !problem.isEmpty())
        return fail(problem);
    linked_ = newPty();
    spare_ = newPty();
    if (spare_)
        spare_->refuseOpens(true);
    if (linked_)
        link_ = PortLink::claim(n, linked_->slavePath(), pathOf(spare_), &lastError_);
    if (!link_) {
        releasePort();
        return false;
    }
    awaitApplication();
    checkOpenState(0);
    return true;
}

bool PtyVirtualPort::deletePort() {
    if (link_ && !link_->release(&lastError_))
        return false;
    releasePort();
    return true;
}

// Dropping the ptys hangs up an application that still holds one.
void PtyVirtualPort::releasePort() {
    pollTimer_.stop();
    watcher_.stop();
    masterEvents_.stop();
    writeNotifier_.reset();
    linked_.reset();
    held_.reset();
    spare_.reset();
    link_.reset();
    received_.clear();
    initialLine_.reset();
}

// Opens are seen through inotify, or by the slow poll where inotify cannot watch the pty.
void PtyVirtualPort::awaitApplication() {
    if (!linked_)
        return;
    if (!watcher_.watch(linked_->slavePath()))
        pollTimer_.start();
    linked_->refuseOpens(false);
}

// Also stands in for the master's notifier, should that be missing.
void PtyVirtualPort::pollOpenState() {
    if (held_)
        onMasterEvent();
    else
        checkOpenState(0);
}

// The master's hang-up flag is the truth; the count of opens that inotify reports also catches
// an application that opened and closed the port again before this looked.
void PtyVirtualPort::checkOpenState(int opens) {
    if (!linked_ || held_)
        return;
    if (linked_->slaveHeld()) {
        applicationOpened();
    } else if (opens > 0) {
        applicationOpened();
        if (held_)
            applicationClosed();
    }
}

// COMn moves to the spare, which refuses opens: a second application cannot have the port.
void PtyVirtualPort::applicationOpened() {
    watcher_.stop();
    pollTimer_.stop();
    held_ = std::move(linked_);
    linked_.reset();
    if (spare_ && link_->repoint(spare_->slavePath(), &lastError_)) {
        linked_ = std::move(spare_);
        spare_.reset();
    }
    if (!masterEvents_.watch(held_->master()))
        pollTimer_.start();
    writeNotifier_ = makeWriteNotifier(held_->master(), this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
            &PtyVirtualPort::onMasterWritable);
    updateReading();
    emit openClose(true);
    if (initialLine_ && held_)
        emit lineChanged(); // it may have set its line before this saw it open
}

// All the application wrote is read now, beyond the receive limit (the kernel holds a few KiB
// at most): it is this application's, and must not be taken for the next one's. Then its pty
// is made as new and becomes the spare, and the pty COMn leads to takes applications again.
void PtyVirtualPort::applicationClosed() {
    pollTimer_.stop();
    masterEvents_.stop();
    writeNotifier_.reset();
    const bool gotBytes = readMaster(std::numeric_limits<qsizetype>::max());
    if (initialLine_) {
        initialLine_ = held_->line(); // the next application finds it, as on a serial port
        if (linked_)
            linked_->watchLine(*initialLine_);
    }
    std::optional<PtyPair> used = renewed(std::move(*held_));
    held_.reset();
    if (linked_) {
        spare_ = std::move(used);
        if (spare_)
            spare_->refuseOpens(true);
    } else {
        linked_ = std::move(used);
    }
    awaitApplication();
    if (gotBytes)
        emit dataReceived(bytesWaiting());
    if (!link_)
        return; // a handler deleted the port
    emit openClose(false);
    checkOpenState(0); // the next application may be in already
}

// The used pty made as new; where that cannot be done, a new one in its place.
std::optional<PtyPair> PtyVirtualPort::renewed(PtyPair used) {
    if (used.reset())
        return prepared(std::move(used));
    std::optional<PtyPair> fresh = newPty();
    const QString target = linked_ ? linked_->slavePath() : pathOf(fresh);
    const QString other = linked_ ? pathOf(fresh) : QString();
    if (!target.isEmpty())
        link_->renew(target, other, &lastError_);
    return fresh;
}

// In packet mode every read starts with a status byte: TIOCPKT_DATA before data, or a status
// alone, which may tell of a change of the slave's attributes.
bool PtyVirtualPort::readMaster(qsizetype limit) {
    bool gotBytes = false;
    char buffer[chunkSize + 1];
    while (received_.size() < limit) {
        const qsizetype room = qMin<qsizetype>(chunkSize, limit - received_.size());
        const ssize_t n = ::read(held_->master(), buffer, static_cast<size_t>(room) + 1);
        if (n > 1) {
            received_.append(buffer + 1, n - 1);
            gotBytes = true;
        } else if (n == 1) {
            lineNoticed_ = lineNoticed_ || (buffer[0] & TIOCPKT_IOCTL) != 0;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // EAGAIN: nothing more now; EIO: no application holds the slave
        }
    }
    return gotBytes;
}

// Bytes to read, or the application closed the port (hang-up).
void PtyVirtualPort::onMasterEvent() {
    if (readMaster(receiveLimit))
        emit dataReceived(bytesWaiting());
    if (std::exchange(lineNoticed_, false) && initialLine_ && held_)
        emit lineChanged();
    if (!held_)
        return;
    if (held_->slaveHeld())
        updateReading();
    else
        applicationClosed();
}

// Reading stops while the receive buffer is full: the application is held back until the
// session reads. Its close is still reported.
void PtyVirtualPort::updateReading() {
    masterEvents_.setReading(held_ && received_.size() < receiveLimit);
}

int PtyVirtualPort::read(char* data, int count) {
    if (!data || count <= 0)
        return 0;
    const int n = qMin(count, bytesWaiting());
    std::memcpy(data, received_.constData(), static_cast<size_t>(n));
    received_.remove(0, n);
    updateReading();
    return n;
}

int PtyVirtualPort::write(const char* data, int count) {
    if (!data || count <= 0)
        return 0;
    if (!held_) {
        lastError_ = QStringLiteral("no application has the port open");
        return 0;
    }
    int taken = 0;
    while (taken < count) {
        const ssize_t n =
            ::write(held_->master(), data + taken, static_cast<size_t>(count - taken));
        if (n > 0)
            taken += static_cast<int>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EAGAIN: the application is not reading; EIO: it closed the port
    }
    if (taken < count)
        writeNotifier_->setEnabled(true);
    return taken;
}

void PtyVirtualPort::onMasterWritable() {
    writeNotifier_->setEnabled(false);
    if (held_)
        emit writeRoom();
}

bool PtyVirtualPort::purge() {
    received_.clear();
    if (held_)
        ::tcflush(held_->master(), TCIFLUSH);
    updateReading();
    return true;
}

bool PtyVirtualPort::ResetBus() {
    return PortLink::removeStale(&lastError_);
}
