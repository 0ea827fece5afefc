#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so that a stop request
// from systemd, a terminal or a hang-up runs the program's normal exit (the set is saved).

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class ExitSignals : public QObject {
    Q_OBJECT
public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

signals:
    void exitRequested(int signalNumber);

private:
    void readSignal();
    std::unique_ptr<QSocketNotifier> notifier_;
};
