#pragma once
// Watches a device node with inotify and reports when some process opens or closes it.
// The report is a hint: the caller confirms the state by other means (a pty master's
// hang-up flag), since inotify announces a close before the device is released. All watchers
// of the program share one inotify instance (a user may have only 128 of them).

#include <QObject>
#include <QString>

class DeviceOpenWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceOpenWatcher(QObject* parent = nullptr);
    ~DeviceOpenWatcher() override;

    // Starts watching path; returns false when inotify cannot watch it.
    bool watch(const QString& path);
    void stop();
    bool watching() const { return watch_ >= 0; }

signals:
    // Some process opened or closed the device; opens is how many opens were among the
    // events read.
    void activity(int opens);

private:
    int watch_ = -1;
};
