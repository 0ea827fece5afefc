#pragma once
// What one echo request ended with: the record the Ping window shows and the link monitor
// judges.

#include <QByteArray>
#include <QtGlobal>
#include <functional>

struct EchoReply {
    // The bytes of returned data the record keeps; longer data is counted but cut.
    static constexpr int kDataCapacity = 250;

    int status = 0;               // EchoStatus: 0 success, -1 bad address, 11001 ... otherwise
    quint32 address = 0;          // the answering IPv4 address, numeric (127.0.0.1 = 0x7f000001)
    quint32 roundTripTime = 0;    // milliseconds
    quint16 dataSize = 0;         // bytes of data that came back
    QByteArray data;              // the first kDataCapacity of them
    bool echoUnavailable = false; // no echo socket can be opened on this machine
};

using EchoDone = std::function<void(const EchoReply&)>;

// The address as the signed 32-bit number its four bytes make in wire order read as a
// little-endian integer: 127.0.0.1 gives 16777343, 192.168.1.200 gives -939415360.
qint32 wireOrderAddressValue(quint32 address);
