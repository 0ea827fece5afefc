#pragma once
// The serial side of one activation: the real serial port, or the virtual port the activation
// creates. It opens and closes it with the serial status texts, reads what the device or the
// application wrote, writes what came from the network, and opens a device that went away
// again every 5 s.

#include "session/StatusSink.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class SerialPort;
class VirtualPort;
class TransferBuffer;
struct SessionSettings;

class SerialSide : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds reopenInterval{5000};

    SerialSide(SerialPort& port, VirtualPort& virtualPort, const SessionSettings& settings,
               StatusSink& sink);

    // Creates the virtual port or opens the real one and shows it. A failure leaves nothing
    // open and shows nothing: the caller shows its text.
    OpenAttempt open();
    // Opened and still open: a real device that went away since counts as closed.
    bool isOpen() const;
    // Deactivation: false, with nothing closed, when the virtual port cannot be deleted.
    bool close();
    // Undoes open() when the network side cannot be opened.
    void rollBack();

    bool isVirtual() const;
    // With COM port control on a client's virtual port: the application's line is watched.
    void watchApplicationLine();
    bool hasInput() const;
    // Moves what the device or the application wrote into buffer, as much as it has room for;
    // returns how many bytes. What does not fit stays with the port and holds the writer back.
    int readInto(TransferBuffer& buffer);
    void discardInput();

    // Whether written bytes can go out now: the real port is open, or an application holds
    // the virtual port.
    bool takesOutput() const;
    bool applicationHasPort() const;
    // Hands bytes over; returns how many the port took. After taking fewer it tells through
    // its component's room signal.
    int write(const QByteArray& bytes);
    // Drops what the real port was handed and has not sent yet.
    void discardOutput();

    // The device went away (an adapter pulled out): say so and try it again every 5 s.
    void deviceGone();
    void reopenTick();
    bool isReopening() const { return reopenTimer_.isActive(); }

signals:
    void reopened();

private:
    OpenAttempt createVirtualPort();
    OpenAttempt openRealPort();
    QString comName() const;

    SerialPort& port_;
    VirtualPort& virtualPort_;
    const SessionSettings& settings_;
    StatusSink& sink_;
    QTimer reopenTimer_;
    bool open_ = false;
};
