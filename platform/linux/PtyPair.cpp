#include "platform/linux/PtyPair.h"

#include "platform/linux/TerminalLine.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr mode_t privateSlaveMode = 0600;
constexpr mode_t groupSlaveMode = 0660;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The group first, then the mode: a failed group change must not leave the slave open to the
// group it still has (tty, which every terminal program's user may write to).
void setSlavePermissions(int fd, PtyPair::Sharing sharing) {
    bool shared = false;
    if (sharing == PtyPair::Sharing::Group) {
        group entry{};
        group* found = nullptr;
        char buffer[1024];
        shared = ::getgrnam_r("dialout", &entry, buffer, sizeof buffer, &found) == 0 && found &&
                 ::fchown(fd, static_cast<uid_t>(-1), found->gr_gid) == 0;
    }
    ::fchmod(fd, shared ? groupSlaveMode : privateSlaveMode);
}

} // namespace

PtyPair::PtyPair(UniqueFd master, QString slavePath)
    : master_(std::move(master))
    , slavePath_(std::move(slavePath)) {}

std::optional<PtyPair> PtyPair::open(Sharing sharing, QString* error) {
    int masterFd = -1;
    int slaveFd = -1;
    if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(errnoText(errno));
        return std::nullopt;
    }
    UniqueFd master(masterFd);
    const UniqueFd slave(slaveFd);
    char path[PATH_MAX];
    if (const int failure = ::ttyname_r(slave.get(), path, sizeof path); failure != 0) {
        *error = QStringLiteral("cannot name the pseudo-terminal: %1").arg(errnoText(failure));
        return std::nullopt;
    }
    ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
    setSlavePermissions(slave.get(), sharing);
    PtyPair pair(std::move(master), QFile::decodeName(path));
    pair.setRaw();
    return pair;
}

bool PtyPair::slaveHeld() const {
    pollfd p{master_.get(), POLLIN, 0};
    return !(::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0);
}

void PtyPair::setRaw() {
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

bool PtyPair::setPacketMode() {
    int on = 1;
    return ::ioctl(master_.get(), TIOCPKT, &on) == 0;
}

void PtyPair::watchLine(const ApplicationLine& initial) {
    termios tio{};
    if (::tcgetattr(master_.get(), &tio) != 0)
        return;
    putLine(tio, initial);
    tio.c_lflag |= EXTPROC;
    ::tcsetattr(master_.get(), TCSANOW, &tio);
}

ApplicationLine PtyPair::line() const {
    termios tio{};
    if (::tcgetattr(master_.get(), &tio) != 0)
        return {};
    if ((tio.c_lflag & EXTPROC) == 0) {
        tio.c_lflag |= EXTPROC;
        ::tcsetattr(master_.get(), TCSANOW, &tio);
    }
    return lineOf(tio);
}

bool PtyPair::refuseOpens(bool refuse) {
    int lock = refuse ? 1 : 0;
    return ::ioctl(master_.get(), TIOCSPTLCK, &lock) == 0;
}

// Only the slave side can flush what the master wrote, or undo what was set on the slave, so
// the slave is opened for a moment (which nobody watches: the pty waits as a spare meanwhile).
bool PtyPair::reset() {
    const UniqueFd slave(
        ::ioctl(master_.get(), TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave)
        return false;
    ::ioctl(slave.get(), TIOCNXCL);
    const int discipline = N_TTY;
    ::ioctl(slave.get(), TIOCSETD, &discipline);
    ::tcflush(slave.get(), TCIFLUSH);
    setRaw();
    return true;
}
