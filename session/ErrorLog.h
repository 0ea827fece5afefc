#pragma once
// The error log: errorlog.txt in the data folder, one line per call, each ending in CR LF, and
// with the same lines on stderr when the program runs without a screen (the journal). And the
// program started on errors.

#include "platform/DetachedProgram.h"

#include <QString>
#include <QTimer>

namespace ErrorLog {

// Also writes every line to stderr (ending in LF), whether or not file logging is on.
void setEchoToStderr(bool on);

// The log file's path: errorlog.txt in the data folder.
QString path();

// Appends line to the log file when error logging is on (and echoes it when asked to). At
// 10 MiB the file becomes errorlog.txt.1 and a new one begins. A line that cannot be written is
// lost; the caller is never troubled with it.
void append(const QString& line);

// A failure of the program itself (not of one session): said on stderr, and written to the
// log file as a line of its own when error logging is on.
void reportProgramError(const QString& description);

// Starts commandLine through the error command (below). An empty command line starts nothing.
void runProgram(const QString& commandLine);

} // namespace ErrorLog

// The program started on errors. Every status change asks for it, and a peer that connects and
// closes in a loop makes many: it is not started again while its last start still runs, nor
// within a second of it. The last start left out is made once that wait is over, and the log
// says how many starts were left out.
class ErrorCommand : public QObject {
    Q_OBJECT
public:
    static ErrorCommand& instance();

    // Starts commandLine, split into program and arguments without a shell, without waiting
    // for it; or leaves it for later.
    void run(const QString& commandLine);
    // Whether a start now would be left out: the last one still runs or is not a second old.
    bool waiting() const { return holding_ || program_.running(); }

    // One second after a start.
    QTimer holdTimer;
    void holdTimer_Timer();

private:
    ErrorCommand();
    void start(const QString& commandLine);
    void startLeftOut();

    DetachedProgram program_;
    bool holding_ = false;
    QString leftOutCommand_; // the command line of the last start left out
    int leftOut_ = 0;
};
