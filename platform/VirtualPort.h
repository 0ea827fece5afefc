#pragma once
// The virtual port component of a session: a COMn port that other applications open as if
// it were a serial port. The session reads what the application writes and writes what the
// application reads, and hears when an application opens or closes the port. Abstract so
// that tests can put a double in its place.

#include "platform/linux/SerialLineSettings.h"

#include <QObject>
#include <QString>
#include <memory>

// The line an application set on a virtual port, as far as the port can show it.
struct ApplicationLine {
    // Data bits and parity as the port holds them: a pty always shows 8 data bits, and even
    // parity as none (parity 'N' means none or even).
    SerialLineSettings settings;
    int handshaking = 0; // 0 none, 1 Xon/Xoff, 2 hardware
    bool operator==(const ApplicationLine&) const = default;
};

class VirtualPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~VirtualPort() override = default;

    // Creates the port "COMn"; returns whether the port now exists. A name that exists already
    // (a user's mapping, another session's port) is refused; lastError() says why.
    virtual bool createPort(const QString& name) = 0;
    // Deletes the port this object holds; returns true when no port remains.
    virtual bool deletePort() = 0;

    // Two switches that activation sets once each, in this order, after a create. A pty has
    // no matching behaviour: the values are kept and reported, nothing else.
    virtual void setSwitch16(bool on) = 0;
    virtual void setSwitch13(bool on) = 0;
    virtual bool switch16() const = 0;
    virtual bool switch13() const = 0;

    // Whether some application holds the port open.
    virtual bool isOpenedByApp() const = 0;
    // Bytes the application wrote that have not been read yet.
    virtual int bytesWaiting() const = 0;
    // Reads up to count bytes; returns how many were read.
    virtual int read(char* data, int count) = 0;
    // Writes up to count bytes without blocking; returns how many were taken (fewer when the
    // application does not read, 0 while no application has the port open). After a write
    // that took fewer, writeRoom() tells when the application has read again.
    virtual int write(const char* data, int count) = 0;
    // Discards the bytes waiting to be read; returns true.
    virtual bool purge() = 0;
    // Removes virtual port links left behind by programs that are no longer running. Never
    // touches a user's mapping or a port of a running program.
    virtual bool ResetBus() = 0;

    // "COMn" of the port held, empty when none.
    virtual QString portName() const = 0;
    // The device node of the pty the port serves now (while an application holds the port,
    // the one it holds), empty when none.
    virtual QString slavePath() const = 0;
    virtual QString lastError() const = 0;

    // From now on the port starts with the line initial (where a pty can hold it), an
    // application finds the line the one before it left, as on a serial port, and
    // lineChanged() tells when an application sets its line.
    virtual void watchLine(const ApplicationLine& initial) = 0;
    // The line of the application that holds the port; without one, the line the next finds.
    virtual ApplicationLine applicationLine() const = 0;

signals:
    // The application wrote bytes; count is how many are waiting now.
    void dataReceived(int count);
    // An application opened (true) or closed (false) the port.
    void openClose(bool opened);
    // The port takes bytes again after a write that was cut short.
    void writeRoom();
    // The application may have set its line (watchLine() on): look at applicationLine().
    void lineChanged();
};

std::unique_ptr<VirtualPort> createVirtualPort(QObject* parent = nullptr);

// Whether the virtual ports created from now on may be opened by the members of the dialout
// group (a program run as the system service shares its ports so) or only by this program's
// user (the default).
void shareVirtualPortsWithGroup(bool shared);
