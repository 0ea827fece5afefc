#pragma once
// Serial to network: bytes read from the serial port or the virtual port go through the
// serial-to-network buffer to the sockets. Reads take only what the buffer has room for, and
// sends only what every receiving socket has room for, so a slow network holds the device
// back (through the port's flow control, or the pty) instead of losing bytes.

#include "session/TransferPath.h"

#include <vector>

class SerialToNetwork : public TransferPath {
public:
    using TransferPath::TransferPath;

    // A serial port event of that kind (SerialPort::CommEvent).
    void portEvent(int kind);
    // The application wrote to the virtual port.
    void virtualPortData();
    // Sending may go on: a socket took bytes off its queue, or a connection was made.
    void resume();
    // The heartbeat's step while bytes are held: the transmit timeout, and clients that stall.
    void timeoutStep();
    // A connection being made for the application failed: what it wrote is dropped.
    void dropHeldForConnect();
    // Whether held bytes can go anywhere on a tick (otherwise a tick has nothing to do).
    bool needsTicks() const;

private:
    bool keepsWhileUnconnected() const;
    std::vector<int> targets() const;
    void readAndSend(bool anyConnected);
    void sendHeld(bool anyConnected);
    void sendPackets(bool anyConnected);
    bool fanOut(int size);
    bool sendOnUdp(int size);
    bool sendAll();

    long txIdleTicks_ = 0; // heartbeat ticks while bytes are held, since the last flush check
    bool moving_ = false;  // a read-and-send pass is under way
    bool udpSendFailing_ = false; // the last datagram could not be sent (already logged)
};
