#include "session/ErrorLog.h"
#include "tests/session/SessionFixture.h"

#include "platform/linux/UniqueFd.h"

#include <QRegularExpression>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class SessionLogTest : public SessionFixture {};

// Each line: the text, date and time, this machine's address, then the mode's endpoint; a new
// window logs its two empty statuses.
TEST_F(SessionLogTest, LinesInClientAndServerModeAndOfNewWindows) {
    const QString common = ", \\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d, Lumivex IP Address: " +
                           QRegularExpression::escape(doc->LocalIPAddress) + ", ";
    doc->LogErrors(QStringLiteral("x"));
    virtualServer(30);
    frmDocument second(host);
    const QStringList patterns = {
        "^Lumivex Error: x" + common + "Client Mode, Remote Host: , RemotePort: 0$",
        "^Lumivex Error: Virtual Port COM30 created, ",
        "^Lumivex Error: TCP/IP Status: Listening\\.\\.\\." + common +
            "Server Mode, Local Port: " + QString::number(listeningPort()) + "$",
        "^Lumivex Error: COM Status:, ",
        "^Lumivex Error: TCP/IP Status:, ",
    };
    const QStringList lines =
        QString::fromUtf8(readWholeFile(ErrorLog::path())).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), patterns.size()) << lines.join('\n').toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].contains(QRegularExpression(patterns[i]))) << lines[i].toStdString();
}

// At 10 MiB the log starts anew and keeps the old one as errorlog.txt.1; never through a link.
TEST_F(SessionLogTest, TheLogRotatesAt10MiBAndIsNotWrittenThroughALink) {
    const QString log = ErrorLog::path();
    constexpr qint64 almostFull = 10 * 1024 * 1024 - 10;
    ASSERT_TRUE(writeWholeFile(log, "old\r\n") && QFile::resize(log, almostFull));
    ErrorLog::append(QStringLiteral("more than ten bytes"));
    ErrorLog::append(QStringLiteral("next"));
    EXPECT_EQ(QFileInfo(log + QStringLiteral(".1")).size(), almostFull);
    EXPECT_EQ(readWholeFile(log), "more than ten bytes\r\nnext\r\n");

    const QString elsewhere = home.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(writeWholeFile(elsewhere, "kept") && QFile::remove(log) &&
                QFile::link(elsewhere, log));
    ErrorLog::append(QStringLiteral("x"));
    EXPECT_EQ(readWholeFile(elsewhere), "kept");
}

// A peer that connects and closes in a loop makes a status change each time: the program for
// errors starts at most once a second, never while it runs, and the last start left out is
// made once both have passed. It runs, with its quoted arguments, also while logging is off.
TEST_F(SessionLogTest, TheErrorProgramStartsOnceASecondAndNeverWhileItRuns) {
    ErrorCommand& command = ErrorCommand::instance();
    command.holdTimer_Timer(); // an earlier start is a second old
    ASSERT_TRUE(waitUntil([&] { return !command.waiting(); }));
    const QString ran = home.path("ran"), gate = home.path("gate"), script = home.path("on error");
    ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    // Writes its first argument as a line, then runs until the test opens the gate.
    writeWholeFile(script, "#!/bin/sh\necho \"$1\" >> \"$2\"; cat \"$3\" > /dev/null\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    globals().OnErrorRunApp =
        QStringLiteral("\"%1\" \"one arg\" \"%2\" \"%3\"").arg(script, ran, gate);
    const auto openGate = [&] {
        return waitUntil([&] {
            return UniqueFd(::open(QFile::encodeName(gate).constData(), O_WRONLY | O_NONBLOCK))
                .valid();
        });
    };
    globals().LogErrors = 0;
    doc->LogErrors(QStringLiteral("TCP/IP Status: Closed"));
    ASSERT_TRUE(waitUntil([&] { return readWholeFile(ran) == "one arg\n"; }));
    EXPECT_FALSE(QFile::exists(ErrorLog::path()));
    globals().LogErrors = 1;
    for (int i = 0; i < 99; ++i)
        doc->LogErrors(QStringLiteral("TCP/IP Status: Closed"));
    command.holdTimer_Timer(); // a second later it still runs
    EXPECT_TRUE(command.waiting());
    ASSERT_TRUE(openGate());
    EXPECT_TRUE(waitUntil([&] { return readWholeFile(ran) == "one arg\none arg\n"; }));
    EXPECT_TRUE(readWholeFile(ErrorLog::path())
                    .contains("98 starts of the program for errors were left out"));
    ASSERT_TRUE(openGate());
    command.holdTimer_Timer();
    EXPECT_TRUE(waitUntil([&] { return !command.waiting(); }));
}

} // namespace
