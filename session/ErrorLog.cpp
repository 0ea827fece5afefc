#include "session/ErrorLog.h"

#include "model/GlobalSettings.h"
#include "platform/Folders.h"
#include "platform/LogFile.h"

#include <QDateTime>
#include <QDir>
#include <chrono>
#include <cstdio>

using namespace std::chrono_literals;

namespace {
bool echoToStderr = false;
// Past this size the log starts anew, keeping the one before as errorlog.txt.1.
constexpr qint64 kRotateAt = 10 * 1024 * 1024;
constexpr auto kCommandHold = 1s;
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
    // Only a data folder of this user's own is written to.
    if (globals().LogErrors == 0 || !dataFolderProblem().isEmpty())
        return;
    appendToLog(path(), bytes + "\r\n", kRotateAt);
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
    ErrorCommand::instance().run(commandLine);
}

} // namespace ErrorLog

ErrorCommand& ErrorCommand::instance() {
    static ErrorCommand command;
    return command;
}

ErrorCommand::ErrorCommand() {
    holdTimer.setSingleShot(true);
    holdTimer.setInterval(kCommandHold);
    connect(&holdTimer, &QTimer::timeout, this, &ErrorCommand::holdTimer_Timer);
    connect(&program_, &DetachedProgram::ended, this, &ErrorCommand::startLeftOut);
}

void ErrorCommand::run(const QString& commandLine) {
    if (commandLine.trimmed().isEmpty())
        return;
    if (waiting()) {
        leftOutCommand_ = commandLine;
        ++leftOut_;
        return;
    }
    start(commandLine);
}

void ErrorCommand::start(const QString& commandLine) {
    program_.start(commandLine);
    holding_ = true;
    holdTimer.start();
}

void ErrorCommand::holdTimer_Timer() {
    holding_ = false;
    startLeftOut();
}

void ErrorCommand::startLeftOut() {
    if (waiting() || leftOut_ == 0)
        return;
    // The last one is started now; the ones before it are left out for good.
    if (leftOut_ > 1)
        ErrorLog::reportProgramError(
            QStringLiteral("%1 starts of the program for errors were left out (it starts at most "
                           "once a second, and never while it still runs)")
                .arg(leftOut_ - 1));
    leftOut_ = 0;
    start(leftOutCommand_);
}
