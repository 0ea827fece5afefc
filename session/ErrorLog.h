#pragma once
// The error log: errorlog.txt in the data folder, one line per call, each ending in CR LF, and
// with the same lines on stderr when the program runs without a screen (the journal).

#include <QString>

namespace ErrorLog {

// Also writes every line to stderr (ending in LF), whether or not file logging is on.
void setEchoToStderr(bool on);

// The log file's path: errorlog.txt in the data folder.
QString path();

// Appends line to the log file when error logging is on (and echoes it when asked to).
// A line that cannot be written is lost; the caller is never troubled with it.
void append(const QString& line);

// A failure of the program itself (not of one session): said on stderr, and written to the
// log file as a line of its own when error logging is on.
void reportProgramError(const QString& description);

// Starts commandLine as a program of its own, split into program and arguments without a
// shell; does not wait for it. An empty command line starts nothing.
void runProgram(const QString& commandLine);

} // namespace ErrorLog
