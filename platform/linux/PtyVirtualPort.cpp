#include "platform/linux/PtyVirtualPort.h"

#include "platform/ComPortNames.h"
#include "platform/Folders.h"
#include "platform/linux/PortMarker.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Slave permissions: a group (dialout) may share the port when the program runs as a service;
// without that group the port stays private (the pty's own group, tty, must not read it).
constexpr mode_t sharedSlaveMode = 0660;
constexpr mode_t privateSlaveMode = 0600;
constexpr int chunkSize = 4096;

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0;
}

// The target of a symbolic link as written, empty when path is no link.
QString linkTarget(const QString& path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(native(path).constData(), buffer, sizeof buffer - 1);
    return n > 0 ? QFile::decodeName(QByteArray(buffer, n)) : QString();
}

bool removeFile(const QString& path) {
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

// The group first, then the mode: a failed group change must not leave the port readable by
// the group it still has.
void setSlavePermissions(int fd) {
    group entry{};
    group* found = nullptr;
    char buffer[1024];
    const bool shared = ::getgrnam_r("dialout", &entry, buffer, sizeof buffer, &found) == 0 &&
                        found && ::fchown(fd, static_cast<uid_t>(-1), found->gr_gid) == 0;
    ::fchmod(fd, shared ? sharedSlaveMode : privateSlaveMode);
}

} // namespace

std::unique_ptr<VirtualPort> createVirtualPort(QObject* parent) {
    return std::make_unique<PtyVirtualPort>(parent);
}

PtyVirtualPort::PtyVirtualPort(QObject* parent)
    : VirtualPort(parent)
    , watcher_(this) {
    pollTimer_.setInterval(pollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, &PtyVirtualPort::pollOpenState);
    connect(&watcher_, &DeviceOpenWatcher::activity, this, &PtyVirtualPort::updateOpenState);
}

PtyVirtualPort::~PtyVirtualPort() {
    deletePort();
}

bool PtyVirtualPort::fail(const QString& why) {
    lastError_ = why;
    return false;
}

bool PtyVirtualPort::createPort(const QString& name) {
    const int n = comPortNumber(name.trimmed());
    if (n == 0)
        return fail(
            QStringLiteral("invalid port name \"%1\": expected COM and a number").arg(name));
    if (master_ && portName_ == comPortName(n))
        return true;
    if (!deletePort())
        return false;
    if (const QString problem = preparePortsFolder(); !problem.isEmpty())
        return fail(problem);
    if (!openPair())
        return false;
    if (!claimName(n)) {
        releasePort();
        return false;
    }
    watcher_.watch(slavePath_);
    pollTimer_.start();
    updateOpenState(0);
    return true;
}

// A raw pty pair whose slave is closed again at once: the master shows hang-up until an
// application opens the slave, which is how an open is seen at all.
bool PtyVirtualPort::openPair() {
    int masterFd = -1;
    int slaveFd = -1;
    if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0)
        return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(errnoText()));
    UniqueFd master(masterFd);
    UniqueFd slave(slaveFd);
    char path[PATH_MAX];
    if (const int error = ::ttyname_r(slave.get(), path, sizeof path); error != 0)
        return fail(QStringLiteral("cannot name the pseudo-terminal: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(error))));
    ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
    setSlavePermissions(slave.get());
    slave.reset();
    master_ = std::move(master);
    slavePath_ = QFile::decodeName(path);
    setRawMode();
    readNotifier_ = makeReadNotifier(master_.get());
    readNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this,
            &PtyVirtualPort::onMasterReadable);
    writeNotifier_ = makeWriteNotifier(master_.get());
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
            &PtyVirtualPort::onMasterWritable);
    return true;
}

// Makes the link COMn -> slave and the marker beside it. The name is free when nothing is
// there, or when it is a link of ours whose owner is gone (pts numbers are reused at once).
bool PtyVirtualPort::claimName(int n) {
    const QString name = comPortName(n);
    const QString link = comLinkPath(n);
    const QString markerPath = comMarkerPath(n);
    if (exists(link)) {
        const auto marker = PortMarker::read(markerPath);
        const bool ours = marker && linkTarget(link) == marker->ptyPath;
        if (ours && marker->ownerRunning())
            return fail(QStringLiteral("%1 is in use: a virtual port of a running program (pid %2)")
                            .arg(name)
                            .arg(marker->pid));
        if (!ours)
            return fail(QStringLiteral("%1 already exists: %2 is a port mapping").arg(name, link));
        if (!removeFile(link))
            return fail(
                QStringLiteral("cannot remove the stale link %1: %2").arg(link, errnoText()));
    }
    // symlink() fails when the name exists: of two programs claiming it, one wins.
    if (::symlink(native(slavePath_).constData(), native(link).constData()) != 0)
        return fail(QStringLiteral("cannot create %1: %2").arg(link, errnoText()));
    if (!PortMarker::forThisProcess(slavePath_).write(markerPath)) {
        const QString why = errnoText();
        removeFile(link);
        return fail(QStringLiteral("cannot write %1: %2").arg(markerPath, why));
    }
    portName_ = name;
    linkPath_ = link;
    markerPath_ = markerPath;
    return true;
}

bool PtyVirtualPort::deletePort() {
    if (!master_)
        return true;
    // Only what is still ours goes: a user may have put a mapping of their own in its place.
    if (!linkPath_.isEmpty() && linkTarget(linkPath_) == slavePath_ && !removeFile(linkPath_))
        return fail(QStringLiteral("cannot remove %1: %2").arg(linkPath_, errnoText()));
    if (!markerPath_.isEmpty()) {
        const auto marker = PortMarker::read(markerPath_);
        if (marker && marker->ownedByThisProcess() && marker->ptyPath == slavePath_)
            removeFile(markerPath_);
    }
    releasePort();
    return true;
}

void PtyVirtualPort::releasePort() {
    pollTimer_.stop();
    watcher_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    master_.reset();
    received_.clear();
    opened_ = false;
    opensAheadOfInotify_ = 0;
    ownOpens_ = 0;
    portName_.clear();
    slavePath_.clear();
    linkPath_.clear();
    markerPath_.clear();
}

bool PtyVirtualPort::masterHungUp() const {
    pollfd p{master_.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

void PtyVirtualPort::pollOpenState() {
    updateOpenState(0);
}

// The master's hang-up flag is the truth; the inotify count of opens also catches an
// application that opened and closed the port between two checks.
void PtyVirtualPort::updateOpenState(int opens) {
    if (!master_)
        return;
    // Opens of our own, and opens already reported before inotify told of them, are no news.
    const int own = qMin(opens, ownOpens_);
    ownOpens_ -= own;
    opens -= own;
    const int ahead = qMin(opens, opensAheadOfInotify_);
    opensAheadOfInotify_ -= ahead;
    opens -= ahead;
    const bool open = !masterHungUp();
    if (open && !opened_) {
        if (opens == 0 && watcher_.watching())
            ++opensAheadOfInotify_;
        reportOpened();
    } else if (!open && opened_) {
        reportClosed();
    } else if (!open && opens > 0) {
        reportOpened();
        if (master_ && opened_)
            reportClosed();
    }
    updateReadNotifier();
}

void PtyVirtualPort::reportOpened() {
    opened_ = true;
    updateReadNotifier();
    emit openClose(true);
}

// What the application wrote before it closed is still read. What it left unread is
// dropped, so that the next application does not get bytes meant for this one; and raw mode
// is set again, since an application's termios changes outlive its close.
void PtyVirtualPort::reportClosed() {
    const bool gotBytes = readMaster();
    opened_ = false;
    updateReadNotifier();
    discardUnreadOutput();
    setRawMode();
    if (gotBytes)
        emit dataReceived(bytesWaiting());
    if (master_)
        emit openClose(false);
}

// The kernel keeps what the master wrote in the slave's input across closes, and only the
// slave side can flush it: open it for a moment (inotify reports that open; it is counted).
void PtyVirtualPort::discardUnreadOutput() {
    const UniqueFd slave(
        ::open(native(slavePath_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave)
        return;
    if (watcher_.watching())
        ++ownOpens_;
    ::tcflush(slave.get(), TCIFLUSH);
}

bool PtyVirtualPort::readMaster(bool* hungUp) {
    bool gotBytes = false;
    char buffer[chunkSize];
    while (received_.size() < receiveLimit) {
        const qsizetype room = qMin<qsizetype>(chunkSize, receiveLimit - received_.size());
        const ssize_t n = ::read(master_.get(), buffer, static_cast<size_t>(room));
        if (n > 0) {
            received_.append(buffer, n);
            gotBytes = true;
            if (n < room)
                break; // drained for now; the notifier tells of more
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // EAGAIN: nothing more now; EIO: no application holds the slave.
            if (hungUp && n < 0 && errno == EIO)
                *hungUp = true;
            break;
        }
    }
    return gotBytes;
}

// The open state is looked at again only when the read says the application has gone;
// inotify and the slow poll see the rest.
void PtyVirtualPort::onMasterReadable() {
    bool hungUp = false;
    if (readMaster(&hungUp))
        emit dataReceived(bytesWaiting());
    if (hungUp)
        updateOpenState(0);
    else
        updateReadNotifier();
}

// Off while no application holds the slave (hang-up would fire it in a tight loop) and while
// the receive buffer is full (the application is held back until the session reads).
void PtyVirtualPort::updateReadNotifier() {
    if (!readNotifier_)
        return;
    // A master whose application has gone reads EIO at once, which closes the port's state.
    const bool wanted = master_ && opened_ && received_.size() < receiveLimit;
    if (readNotifier_->isEnabled() != wanted)
        readNotifier_->setEnabled(wanted);
}

void PtyVirtualPort::setRawMode() {
    termios tio{};
    // Terminal attributes set through the master are the slave's.
    if (::tcgetattr(master_.get(), &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(master_.get(), TCSANOW, &tio);
}

int PtyVirtualPort::read(char* data, int count) {
    if (!data || count <= 0)
        return 0;
    const int n = qMin(count, bytesWaiting());
    std::memcpy(data, received_.constData(), static_cast<size_t>(n));
    received_.remove(0, n);
    updateReadNotifier();
    return n;
}

int PtyVirtualPort::write(const char* data, int count) {
    if (!data || count <= 0)
        return 0;
    if (!master_ || !opened_) {
        lastError_ = QStringLiteral("no application has the port open");
        return 0;
    }
    int taken = 0;
    while (taken < count) {
        const ssize_t n = ::write(master_.get(), data + taken, static_cast<size_t>(count - taken));
        if (n > 0)
            taken += static_cast<int>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EAGAIN: the application is not reading; EIO: it closed the port
    }
    if (taken < count && writeNotifier_)
        writeNotifier_->setEnabled(true);
    return taken;
}

void PtyVirtualPort::onMasterWritable() {
    writeNotifier_->setEnabled(false);
    // Without an application the master reads as hung up, which also wakes this notifier.
    if (opened_)
        emit writeRoom();
}

bool PtyVirtualPort::purge() {
    received_.clear();
    if (master_)
        ::tcflush(master_.get(), TCIFLUSH);
    updateReadNotifier();
    return true;
}

bool PtyVirtualPort::ResetBus() {
    const QDir folder(portsFolder());
    if (!folder.exists())
        return true;
    if (const QString problem = preparePortsFolder(); !problem.isEmpty())
        return fail(problem);
    bool ok = true;
    // Special files (a FIFO would block the reading) are never markers of ours.
    const QStringList markers =
        folder.entryList({QStringLiteral(".COM*.lumivex")}, QDir::Files | QDir::Hidden);
    for (const QString& file : markers) {
        const int n = comNumberOfMarker(file);
        const auto marker = n ? PortMarker::read(folder.filePath(file)) : std::nullopt;
        if (!marker || marker->ownerRunning())
            continue;
        const QString link = comLinkPath(n);
        if (linkTarget(link) == marker->ptyPath && !removeFile(link)) {
            ok = fail(QStringLiteral("cannot remove the stale link %1: %2").arg(link, errnoText()));
            continue;
        }
        removeFile(folder.filePath(file));
    }
    return ok;
}
