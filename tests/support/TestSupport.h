#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QObject>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

// Runs the event loop until pred() holds or the bound passes; returns pred().
// Waiting on events this way is bounded and never sleeps for a timer.
bool waitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

QByteArray readWholeFile(const QString& path);
bool writeWholeFile(const QString& path, const QByteArray& bytes);

// Sets an environment variable for the life of the object and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};
