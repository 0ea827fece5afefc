#pragma once
// One raw pseudo-terminal pair. This object holds the master; the slave is the device node that
// an application opens, and nobody else holds it: the master shows hang-up exactly while no
// process has the slave open.

#include "platform/VirtualPort.h"
#include "platform/linux/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <optional>

class PtyPair {
public:
    // Who may open the slave besides its owner.
    enum class Sharing { Private, Group }; // Group: the dialout group, mode 0660

    // A new pair, raw, with a non-blocking master; nullopt with a reason in *error.
    static std::optional<PtyPair> open(Sharing sharing, QString* error);

    int master() const { return master_.get(); }
    const QString& slavePath() const { return slavePath_; }

    // Whether some process holds the slave open.
    bool slaveHeld() const;
    // Raw mode again: an application's termios changes outlive its close.
    void setRaw();
    // Packet mode: each read from the master starts with a status byte (TIOCPKT_DATA before
    // data, or the status alone).
    bool setPacketMode();
    // Sets the slave's line to initial, and EXTPROC on it, so that every change of its
    // attributes shows in the master's status byte (TIOCPKT_IOCTL).
    void watchLine(const ApplicationLine& initial);
    // The slave's line. An application that cleared EXTPROC gets it back, so that its next
    // change is seen too.
    ApplicationLine line() const;
    // While refused, every open of the slave fails (EIO), also root's; opens already made go on.
    bool refuseOpens(bool refuse);
    // Makes the pty as good as new after an application has closed it: what the master wrote
    // that the application never read is dropped, and what the application changed on the
    // slave (terminal attributes, exclusive mode, line discipline) is undone. False when the
    // slave cannot be opened for that (the application left it exclusive; only root may open
    // it then).
    bool reset();

private:
    PtyPair(UniqueFd master, QString slavePath);

    UniqueFd master_;
    QString slavePath_;
};
