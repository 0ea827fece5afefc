#pragma once
// Network to serial: bytes received on the sockets go through the network-to-serial buffer to
// the serial port or the virtual port. A socket gives only what the buffer has room for, so a
// slow port holds the TCP sender back instead of losing bytes. The output step runs on every
// heartbeat tick, and also at once when bytes arrive and when the port has room again.

#include "session/TransferPath.h"

#include <QtGlobal>

class Socket;

class NetworkToSerial : public TransferPath {
public:
    using TransferPath::TransferPath;

    // Bytes arrived on socket index.
    void dataArrival(int index);
    // The output step, then more from sockets that still hold bytes, for as long as both move.
    void move();
    // The port takes bytes again.
    void portHasRoom();
    // The heartbeat's serial output step.
    void tick();
    // Whether held bytes can go anywhere on a tick.
    bool needsTicks() const;

private:
    bool dropsInputOf(int index) const;
    void takeInput(int index);
    void outputStep();
    bool pullWaitingInput();
    void takeDatagrams(Socket& socket);

    qint64 droppedDatagrams_ = 0; // in a row, since one last fitted
    bool moving_ = false;         // a pass is under way
    bool moveAgain_ = false;      // asked for again while it was under way
    bool portFull_ = false;       // the port took less than offered; wait for its room
};
