#pragma once
// This machine's IPv4 addresses, for the local-address lists and the socket's LocalIP.

#include <QStringList>

// The IPv4 addresses of the interfaces that are up, in dotted form: the others first, in the
// order the system lists them, loopback last. A Linux host name often resolves only to
// 127.0.1.1, so the interfaces are asked rather than the name.
QStringList localIPv4Addresses();
