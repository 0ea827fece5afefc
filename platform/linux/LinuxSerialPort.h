#pragma once
// The serial port component over QSerialPort, with what Qt 6.4 gets wrong on Linux mended:
// 1.5 stop bits become two, CMSPAR is cleared when parity leaves Mark/Space, a pty keeps the
// parity bits it can hold, a device that hung up is closed and reported once (also while the
// receive queue is full, and without losing what the port had taken from it), reading goes on
// after a failed read that was no hang-up, a locked device reads "in use", the receive buffer
// is bounded so a full queue holds the sender back, and a close never waits for the device to
// take what it was sent.

#include "platform/SerialPort.h"
#include "platform/linux/HangUpNotifier.h"
#include "platform/linux/SerialLineSettings.h"

#include <QSerialPort>

class LinuxSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit LinuxSerialPort(QObject* parent = nullptr);
    ~LinuxSerialPort() override;

    ComponentResult setSettings(const QString& settings) override;
    QString settings() const override { return line_.toString(); }
    ComponentResult setCommPort(int n) override;
    int commPort() const override { return commPort_; }
    ComponentResult setHandshaking(int mode) override;
    int handshaking() const override { return handshaking_; }
    void setLineSwitch(bool on) override;
    bool lineSwitch() const override { return lineSwitch_; }
    void setRequestToSend(bool on) override;
    bool requestToSend() const override { return requestToSend_; }
    void setBreak(bool on) override;
    bool breakOn() const override { return break_; }
    std::optional<ModemLines> modemLines() const override;
    std::optional<LineErrorCounts> lineErrorCounts() const override;
    ComponentResult setInBufferSize(int bytes) override;
    int inBufferSize() const override { return inBufferSize_; }
    ComponentResult setOutBufferSize(int bytes) override;
    int outBufferSize() const override { return outBufferSize_; }
    int outBufferCount() const override;
    ComponentResult setPortOpen(bool open) override;
    bool portOpen() const override { return port_.isOpen(); }
    void setInputMode(int mode) override { inputMode_ = mode; }
    int inputMode() const override { return inputMode_; }
    int commEvent() const override { return commEvent_; }
    int inBufferCount() const override;
    void setInBufferCount(int count) override;
    void discardOutput() override;
    QByteArray input(int maxBytes) override;
    ComponentResult output(const QByteArray& bytes, int* taken) override;
    int outputRoom() const override;
    QString devicePath() const override { return devicePath_; }
    QString lastError() const override { return lastError_; }

private:
    ComponentResult open();
    ComponentResult openFailure(const QString& why);
    bool lockExclusively();
    bool applyLineSettings();
    bool mendTermios(bool fixedFormat);
    void applyModemOutputs();
    void onReadyRead();
    void onBytesWritten();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onHangUp();
    void deviceGone(const QString& why);
    void resumeReading();
    void closeGoneDevice();
    void closeDevice();
    void raise(CommEvent event);

    QSerialPort port_;
    HangUpNotifier hangUps_;
    QByteArray kept_; // taken from a device that went away, not yet read
    SerialLineSettings line_;
    int commPort_ = 1;
    int handshaking_ = 0;
    bool lineSwitch_ = false;
    bool requestToSend_ = true;
    bool break_ = false;
    int inBufferSize_ = defaultInBufferSize;
    int outBufferSize_ = defaultOutBufferSize;
    int inputMode_ = 0;
    int commEvent_ = NoEvent;
    QString devicePath_;
    QString lastError_;
    bool inCall_ = false; // Qt errors during our own calls are reported by the call
    bool goneReported_ = false;
    bool roomPending_ = false; // a transmitRoom() is queued
    bool roomWanted_ = false;  // an output() was cut short for want of room
    int unconfirmedErrors_ = 0;
};
