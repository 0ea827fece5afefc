#pragma once
// The virtual port component on a pseudo-terminal pair. The slave is what applications open,
// through the link <ports folder>/COMn; this object holds the master. Whether an application
// holds the slave is read from the master's hang-up flag, checked when inotify reports an
// open or close of the slave, when the master reports hang-up, and by a slow poll.

#include "platform/VirtualPort.h"
#include "platform/linux/DeviceOpenWatcher.h"
#include "platform/linux/NotifierPtr.h"
#include "platform/linux/UniqueFd.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <memory>

class PtyVirtualPort : public VirtualPort {
    Q_OBJECT
public:
    // The fallback check of the open state, for when inotify misses an event.
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
    bool isOpenedByApp() const override { return opened_; }
    int bytesWaiting() const override { return static_cast<int>(received_.size()); }
    int read(char* data, int count) override;
    int write(const char* data, int count) override;
    bool purge() override;
    bool ResetBus() override;
    QString portName() const override { return portName_; }
    QString slavePath() const override { return slavePath_; }
    QString lastError() const override { return lastError_; }

    // Checks whether an application holds the port and reports a change. Runs from the poll
    // timer and after inotify events; tests call it directly.
    void pollOpenState();

private:
    bool fail(const QString& why);
    bool claimName(int n);
    bool openPair();
    void releasePort();
    bool masterHungUp() const;
    void updateOpenState(int opens);
    void reportOpened();
    void reportClosed();
    void discardUnreadOutput();
    // Reads what the master holds into the receive buffer; returns whether bytes came, and
    // tells in hungUp when the read found no application holding the slave.
    bool readMaster(bool* hungUp = nullptr);
    void onMasterReadable();
    void onMasterWritable();
    void updateReadNotifier();
    void setRawMode();

    UniqueFd master_;
    NotifierPtr readNotifier_;
    NotifierPtr writeNotifier_; // on only after a write was cut short
    DeviceOpenWatcher watcher_;
    QTimer pollTimer_;
    QByteArray received_;
    QString portName_;
    QString slavePath_;
    QString linkPath_;
    QString markerPath_;
    QString lastError_;
    bool opened_ = false;
    int opensAheadOfInotify_ = 0; // opens seen before inotify told of them
    int ownOpens_ = 0;            // opens of the slave by this object, not an application
    bool switch16_ = false;
    bool switch13_ = false;
};
