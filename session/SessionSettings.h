#pragma once
// What one activation of a session works with, taken from the session window's controls when
// the session is activated. The engine reads it while it runs; later changes reach it only
// through the Bridge's setters (the option dialogs, the serial frame's live check boxes).

#include "session/OptionExchange.h"

#include <QString>

struct SessionSettings {
    // Serial side.
    int connector = 0; // COMn opened, or the number of the virtual port created
    bool virtualPort = false;
    QString lineSettings; // "9600,N,8,1"
    int handshaking = 0;  // 0 none, 1 Xon/Xoff, 2 hardware
    bool lineSwitch = true;
    int bufferSize = 8192; // the capacity of each transfer buffer

    // Network side.
    bool udp = false;
    bool server = false;
    QString remoteHost;   // a client's IPAddress
    QString localAddress; // a server's LocalIP
    int port = 0;         // PortNumber, 0 to 65535

    IoOptions options;

    // Read at each use while running.
    bool bufferSerialData = false;
    bool waitForTimeout = false;
    double timeoutMs = 0;

    // The I/O options that turn a direction off.
    bool ignoresSerialInput() const {
        return server ? options.ServerSerialOptions == 1 : options.ClientOptions == 2;
    }
    bool ignoresNetworkInput() const {
        return server ? options.ServerTCPOptions == 1 : options.ClientOptions == 1;
    }
    // A client on a virtual port that sends the application's line to the remote port.
    bool sendsApplicationLine() const {
        return virtualPort && !server && !udp && options.ComPortControl != 0;
    }
    // A client whose connection follows the virtual port: made when an application opens it.
    bool followsApplication() const {
        return virtualPort && !server && options.ConnectOnVirtualOpen != 0;
    }
};
