#pragma once
// The command channel's wire format, shared by the program and the lumivex-dde client.
//
// Each running program listens on <runtime folder>/<app>.<pid>.dde. A client sends one request
// per line, "TOPIC<TAB>COMMAND\n", and gets one line back for each: "ACK" when the command was
// accepted, "NAK" when it was refused, and "NAK<TAB>reason" when the program could not take
// the request at all; the reason "no such topic" tells a client to ask the next program.

#include <QByteArray>
#include <QString>

#include <chrono>

namespace command_protocol {

inline constexpr char kAccepted[] = "ACK";
inline constexpr char kRefused[] = "NAK";
inline constexpr char kNoSuchTopic[] = "no such topic";
inline constexpr char kSystemTopic[] = "System";

// The longest request line, its line feed included.
inline constexpr qsizetype kMaxLine = 4096;
// How long a client may wait for an answer, and how long a connection may stay silent.
inline constexpr std::chrono::milliseconds kAnswerBound{5000};

// <folder>/<app>.<pid>.dde
inline QString socketPath(const QString& folder, const QString& app, qint64 pid) {
    return QStringLiteral("%1/%2.%3.dde").arg(folder, app).arg(pid);
}

// The pid in a socket file name of the given app, or 0 when the name is not one.
inline qint64 pidOfSocketName(const QString& fileName, const QString& app) {
    const QString prefix = app + QLatin1Char('.');
    const QString suffix = QStringLiteral(".dde");
    if (!fileName.startsWith(prefix) || !fileName.endsWith(suffix))
        return 0;
    const QString digits =
        fileName.mid(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    bool ok = false;
    const qint64 pid = digits.toLongLong(&ok);
    const bool plain = !digits.isEmpty() && digits.front().isDigit();
    return ok && plain && pid > 0 ? pid : 0;
}

} // namespace command_protocol
