#pragma once
// Socket failures carry the Winsock numbers so that callers can apply their "above 10000 is a
// socket-layer error" rule; every Qt socket error and errno value is mapped here and nowhere
// else.

#include "platform/ComponentResult.h"

#include <QAbstractSocket>

// The numbers this socket layer reports.
enum WinsockError : int {
    // A listener that cannot take a connection for now reports one of these two: it is not
    // broken (it retries by itself), so the numbers stay below the socket-layer range.
    WsaOutOfMemory = 7,
    WsaTooManyFiles = 67,
    WsaNoSuchElement = 340,         // an array element that was never loaded
    WsaInvalidPropertyValue = 380,  // a port outside 0..65535, an unknown protocol
    WsaAccess = 10013,              // permission denied (a privileged port)
    WsaTooManyOpenFiles = 10024,    // no descriptor left for a new socket or connection
    WsaInvalidArgument = 10022,     // no remote host or port to connect to
    WsaWouldBlock = 10035,          // the kernel has no room right now
    WsaNotSocket = 10038,           // a request id that names no pending connection
    WsaDestinationRequired = 10039, // a datagram with nowhere to go
    WsaMessageSize = 10040,         // a datagram larger than the protocol allows
    WsaNotSupported = 10045,
    WsaAddressInUse = 10048,
    WsaAddressNotAvailable = 10049,
    WsaNetworkDown = 10050,
    WsaNetworkUnreachable = 10051,
    WsaConnectionAborted = 10053,
    WsaConnectionReset = 10054,
    WsaNoBufferSpace = 10055,
    WsaNotConnected = 10057,
    WsaTimedOut = 10060,
    WsaConnectionRefused = 10061,
    WsaHostUnreachable = 10065,
    WsaHostNotFound = 11001,
    WsaWrongState = 40006,      // the call does not fit the protocol or connection state
    WsaInvalidOperation = 40020 // the element must be closed first
};

// Readable text of a number above; a generic text for any other number.
QString winsockDescription(int number);

// A failure with the number and its readable text.
ComponentResult winsockFailure(int number);

// The one mapping from Qt's socket errors to the numbers above.
ComponentResult winsockFailure(QAbstractSocket::SocketError error);

// The same for an errno value from a system call made directly (bind, listen, accept, sendto).
ComponentResult winsockFailureFromErrno(int errnoValue);
