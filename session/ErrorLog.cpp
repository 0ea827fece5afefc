#include "session/ErrorLog.h"

#include "model/GlobalSettings.h"
#include "platform/Folders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>

namespace {
bool echoToStderr = false;
} // namespace

namespace ErrorLog {

void setEchoToStderr(bool on) {
    echoToStderr = on;
}

QString path() {
    return QDir(dataFolder()).filePath(QStringLiteral("errorlog.txt"));
}

void append(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    if (echoToStderr) {
        std::fprintf(stderr, "%s\n", bytes.constData());
        std::fflush(stderr);
    }
    if (globals().LogErrors == 0)
        return;
    QFile file(path());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(bytes + "\r\n");
}

void reportProgramError(const QString& description) {
    if (!echoToStderr) {
        std::fprintf(stderr, "lumivex: %s\n", description.toUtf8().constData());
        std::fflush(stderr);
    }
    const QDateTime now = QDateTime::currentDateTime();
    append(QStringLiteral("Lumivex Error: ") + description + QStringLiteral(", ") +
           now.toString(QStringLiteral("MM-dd-yyyy")) + QStringLiteral(", ") +
           now.toString(QStringLiteral("HH:mm:ss")));
}

void runProgram(const QString& commandLine) {
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    QProcess::startDetached(program, arguments);
}

} // namespace ErrorLog
