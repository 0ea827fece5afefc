#pragma once
// Appending to a log file that cannot grow for ever and is never written through a link.

#include <QByteArray>
#include <QString>

// Appends `bytes` to the regular file at `path`, creating it when missing. A link or any other
// special file at `path` is refused, not written through or waited on. When the file would grow
// past `rotateAt` bytes, it first becomes `<path>.1` (replacing the older one, as log tools
// name it) and a new file is begun. False when nothing was written.
bool appendToLog(const QString& path, const QByteArray& bytes, qint64 rotateAt);
