#pragma once
// Ids of the texts the session engine shows in its status labels and captions.

#include "text/StringTable.h"

#include <QString>

namespace SessionText {
enum : int {
    VirtualPortNotClosed = 5084,
    VirtualPortClosed = 5085,
    Activate = 5087,
    InvalidIpAddress = 5088,
    InvalidPortNumber = 5089,
    ComStatus = 5090,
    TcpIpStatus = 5091,
    CannotCreateVirtual = 5092,
    VirtualPortName = 5093,
    Created = 5094,
    PortNotAvailable = 5095,
    Open = 5096,
    Connecting = 5097,
    Listening = 5098,
    ErrorDash = 5099,
    Closed = 5100,
    Error = 5103,
    Connected = 5109,
    DeActivate = 5118,
    New = 5119,
    Rs232ToTcpIp = 5120,
    SentToRemote = 5126, // a COM port client's log line: "Sent 19200,E,8,1, ..."
    RemoteTakesNoControl = 5127,
};

// A status caption: the label's text, a blank and the state's text.
inline QString statusText(int labelId, int stateId) {
    return LoadResString(labelId) + QLatin1Char(' ') + LoadResString(stateId);
}

// A label's error caption with the failing component's description.
inline QString errorText(int labelId, const QString& description) {
    return statusText(labelId, ErrorDash) + QLatin1Char(' ') + description;
}
} // namespace SessionText
