#pragma once
// The echo routines the Ping window and the link monitor use. They never block: each ends
// later with an EchoReply handed to a callback on the event loop.

#include "net/EchoReply.h"

#include <QObject>
#include <QString>

// Sends one echo request with data to a dotted IPv4 address, after setting the current ping
// time-out from the global PingTimeout index. Host names are not resolved: an address that is
// not dotted IPv4 ends with -1 without any traffic. done is dropped when context is destroyed
// first; it is never called inside this call.
void PingHost(const QString& address, const QByteArray& data, QObject* context, EchoDone done);

// The link monitor's probe: PingHost with the data "Hello" between NetStartup and NetCleanup.
void KeepAlivePing(const QString& address, QObject* context, EchoDone done);

// Start and clean-up of the socket layer around network calls. Linux has nothing to start:
// they keep their callers' shape and always succeed.
bool NetStartup();
void NetCleanup();
