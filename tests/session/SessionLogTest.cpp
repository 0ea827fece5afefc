#include "session/ErrorLog.h"
#include "tests/session/SessionFixture.h"

#include <QRegularExpression>

namespace {

class SessionLogTest : public SessionFixture {
protected:
    SessionLogTest() {
        globals().LogErrors = 1;
        QFile::remove(ErrorLog::path());
    }
};

// Each line: the text, date and time, this machine's address, then the mode's endpoint; a new
// window logs its two empty statuses.
TEST_F(SessionLogTest, LinesInClientAndServerModeAndOfNewWindows) {
    const QString common = QStringLiteral(", \\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d, ") +
                           QStringLiteral("Lumivex IP Address: ") +
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
    const QString log = QString::fromUtf8(readWholeFile(ErrorLog::path()));
    const QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), patterns.size()) << log.toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].contains(QRegularExpression(patterns[i]))) << lines[i].toStdString();
}

// With logging off nothing is written, but the program set to run on errors still runs.
TEST_F(SessionLogTest, TheErrorProgramRunsWithItsQuotedArgumentsEvenWithLoggingOff) {
    globals().LogErrors = 0;
    const QString marker = home.path(QStringLiteral("ran"));
    const QString script = home.path(QStringLiteral("on error.sh"));
    writeWholeFile(script, "#!/bin/sh\necho \"$1\" >> \"$2\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    globals().OnErrorRunApp = QStringLiteral("\"%1\" \"one arg\" \"%2\"").arg(script, marker);
    doc->LogErrors(QStringLiteral("anything"));
    EXPECT_TRUE(waitUntil([&] { return readWholeFile(marker) == "one arg\n"; }));
    EXPECT_FALSE(QFile::exists(ErrorLog::path()));
}

} // namespace
