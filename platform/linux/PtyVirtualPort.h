#pragma once
// The virtual port component on pseudo-terminals. An application opens the link
// <ports folder>/COMn, which points at the slave of a pty whose master this object holds.
// Whether an application holds the slave is read from the master's hang-up flag: while no one
// does, inotify tells of opens (a slow poll stands in where inotify cannot watch); while one
// does, the master reports the hang-up of its close.
//
// A port has two ptys. When an application opens the one COMn leads to, COMn moves to the
// other, which refuses every open until the application closes, as a serial port in use does.
// Then the application's pty is made as new (what it left unread is dropped, what it changed
// is undone) and waits, refusing opens, for the next turn.
//
// The masters are in packet mode. While the line is watched, the slaves have EXTPROC set, and
// the kernel then marks every change of a slave's attributes in the master's status byte
// (TIOCPKT_IOCTL): the application's tcsetattr is seen when it happens, with no polling.

#include "platform/VirtualPort.h"
#include "platform/linux/DeviceOpenWatcher.h"
#include "platform/linux/HangUpNotifier.h"
#include "platform/linux/NotifierPtr.h"
#include "platform/linux/PortLink.h"
#include "platform/linux/PtyPair.h"

#include <QByteArray>
#include <QTimer>
#include <chrono>
#include <optional>

class PtyVirtualPort : public VirtualPort {
    Q_OBJECT
public:
    // The check for an application's open where inotify cannot watch the pty.
    static constexpr std::chrono::milliseconds pollInterval{1000};
    // Bytes read ahead from the master; beyond this the application is held back.
    static constexpr int receiveLimit = 64 * 1024;

    explicit PtyVirtualPort(QObject* parent = nullptr);
    ~PtyVirtualPort() override;

    bool createPort(const QString& name) override;
    bool deletePort() override;
    void setSwitch16(bool on) override { switch16_ = on; }
    void setSwitch13(bool on) override { switch13_ = on; }
    bool switch16() const override { return switch16_; }
    bool switch13() const override { return switch13_; }
    bool isOpenedByApp() const override { return held_.has_value(); }
    int bytesWaiting() const override { return static_cast<int>(received_.size()); }
    int read(char* data, int count) override;
    int write(const char* data, int count) override;
    bool purge() override;
    bool ResetBus() override;
    QString portName() const override { return link_ ? link_->name() : QString(); }
    QString slavePath() const override;
    QString lastError() const override { return lastError_; }
    void watchLine(const ApplicationLine& initial) override;
    ApplicationLine applicationLine() const override;

    // Looks whether an application has opened or closed the port. The fallback poll's
    // handler, where inotify (or an epoll set) cannot be had; tests call it directly.
    void pollOpenState();

private:
    bool fail(const QString& why);
    std::optional<PtyPair> newPty();
    std::optional<PtyPair> prepared(std::optional<PtyPair> pty);
    void releasePort();
    void awaitApplication();
    void checkOpenState(int opens);
    void applicationOpened();
    void applicationClosed();
    std::optional<PtyPair> renewed(PtyPair used);
    // Reads what the master holds into the receive buffer, up to limit; returns whether bytes
    // came.
    bool readMaster(qsizetype limit);
    void onMasterEvent();
    void onMasterWritable();
    void updateReading();

    // Without an application: linked_ (COMn leads to it) waits for one, spare_ refuses opens.
    // With one: held_ is its pty, linked_ refuses opens. Where a second pty could not be had,
    // COMn leads to held_ itself and the port is not kept for one application.
    std::optional<PtyPair> linked_;
    std::optional<PtyPair> held_;
    std::optional<PtyPair> spare_;
    std::optional<PortLink> link_;
    HangUpNotifier masterEvents_; // on held_
    NotifierPtr writeNotifier_;   // on held_, switched on only after a write was cut short
    DeviceOpenWatcher watcher_;   // on linked_ while no application holds the port
    QTimer pollTimer_;            // in place of the watcher where it cannot watch
    QByteArray received_;
    QString lastError_;
    std::optional<ApplicationLine> initialLine_; // while watched: the line the next finds
    bool lineNoticed_ = false;                   // a status byte told of a change
    bool switch16_ = false;
    bool switch13_ = false;
};
