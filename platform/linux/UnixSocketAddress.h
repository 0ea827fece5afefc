#pragma once
// The address of a Unix-domain socket named by a path, or by an abstract name written with a
// leading '@' (as systemd and X11 write them), however deep the path's folder lies: a path too
// long for an address (107 bytes) is reached through an open descriptor of its folder
// (/proc/self/fd/<n>/<file name>), which the object holds while it lives.

#include "platform/linux/UniqueFd.h"

#include <QByteArray>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

class UnixSocketPath {
public:
    explicit UnixSocketPath(const QByteArray& name);

    // False when the name is empty or "@" alone, its folder cannot be opened, or even the file
    // name alone does not fit.
    bool valid() const { return length_ > 0; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t length() const { return length_; }
    // The name that fits an address, to use in place of the given one (for QLocalSocket and
    // QLocalServer): that name itself, or the path through the folder's descriptor.
    const QByteArray& name() const { return name_; }

private:
    bool setAddress(const QByteArray& name);

    UniqueFd folder_;
    QByteArray name_;
    sockaddr_un address_{};
    socklen_t length_ = 0;
};
