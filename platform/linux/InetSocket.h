#pragma once
// IPv4 socket descriptors made and used directly, where Qt's socket classes would hide the
// errno that tells what went wrong (a port in use, no descriptors left, a full buffer).

#include "platform/ComponentResult.h"
#include "platform/linux/UniqueFd.h"

#include <QHostAddress>
#include <netinet/in.h>

// A non-blocking socket of the given type (SOCK_STREAM, SOCK_DGRAM) bound to address:port
// (port 0: any free port). A stream socket may reuse a port whose old connections linger in
// TIME_WAIT, as servers usually do; a datagram socket never shares its port. On failure the
// descriptor is invalid and failure says why.
UniqueFd bindInetSocket(int type, const QHostAddress& address, int port, ComponentResult& failure);

// The port a socket is bound to; 0 when it cannot be read.
int localPortOf(int fd);

sockaddr_in inetAddress(const QHostAddress& address, int port);
QHostAddress hostOf(const sockaddr_in& address);
