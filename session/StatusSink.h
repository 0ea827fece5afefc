#pragma once
// Where the session engine reports: the session window's two status labels, its error log and
// its activity lights.

#include <QString>

class StatusSink {
public:
    enum Side { Serial = 0, Network = 1 };

    // A new caption of the side's status label (every change is also a log line).
    virtual void showStatus(Side side, const QString& caption) = 0;
    virtual void logError(const QString& description) = 0;
    // Data arrived on that side.
    virtual void showActivity(Side side) = 0;

protected:
    ~StatusSink() = default;
};

// How opening one side of a session ended.
struct OpenAttempt {
    bool opened = false;
    bool notThereYet = false; // the device or the local address is missing and may come
    QString failure;          // the status text that says why it did not open

    static OpenAttempt success() { return {true, false, {}}; }
};
