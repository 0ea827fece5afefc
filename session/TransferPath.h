#pragma once
// What each of the two transfer paths works with: the activation's settings, the serial side
// and the network side it moves bytes between, where status and errors go, and a buffer of
// its own, sized from the settings at activation.

#include "session/SessionSettings.h"
#include "session/TransferBuffer.h"

class NetworkSide;
class SerialSide;
class StatusSink;

class TransferPath {
public:
    TransferPath(const SessionSettings& settings, SerialSide& serial, NetworkSide& network,
                 StatusSink& sink)
        : settings_(settings)
        , serial_(serial)
        , network_(network)
        , sink_(sink) {
        buffer_.reset(settings.bufferSize);
    }

    TransferBuffer& buffer() { return buffer_; }
    const TransferBuffer& buffer() const { return buffer_; }

protected:
    ~TransferPath() = default;

    const SessionSettings& settings_;
    SerialSide& serial_;
    NetworkSide& network_;
    StatusSink& sink_;
    TransferBuffer buffer_;
};
