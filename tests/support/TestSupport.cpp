#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    QDeadlineTimer deadline(bound);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

QByteArray readWholeFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeWholeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : name_(name)
    , had_(qEnvironmentVariableIsSet(name))
    , old_(qgetenv(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        qputenv(name_, old_);
    else
        qunsetenv(name_);
}
