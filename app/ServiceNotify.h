#pragma once
// Tells the service manager how the service is doing: one datagram ("READY=1", "STOPPING=1")
// to the socket that $NOTIFY_SOCKET names. Outside a service the variable is unset and these
// do nothing.

#include <QByteArray>

// The program is up and serving.
void reportServiceRunning();
// The program has begun its normal exit.
void reportServiceStopping();

// Sends `state` to $NOTIFY_SOCKET (a path, or "@name" for an abstract socket) without
// blocking. True when it was sent; false when the variable is unset or the send failed.
bool notifyServiceManager(const QByteArray& state);
