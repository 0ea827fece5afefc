#pragma once
// The address of a Unix-domain socket named by a path, or by an abstract name written with a
// leading '@' (as systemd and X11 write them).

#include <QByteArray>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

struct UnixSocketAddress {
    sockaddr_un address;
    socklen_t length;

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

// nullopt when the name is empty, is "@" alone, or does not fit.
std::optional<UnixSocketAddress> unixSocketAddress(const QByteArray& name);
