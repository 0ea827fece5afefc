#include "model/GlobalSettings.h"
#include "session/ErrorLog.h"
#include "tests/session/SessionFixture.h"

#include <QRegularExpression>

namespace {

class SessionLogTest : public SessionFixture {
protected:
    SessionLogTest() { globals().LogErrors = 1; }
    ~SessionLogTest() override {
        globals().LogErrors = 0;
        globals().OnErrorRunApp.clear();
    }
    QString log() const { return QString::fromUtf8(readWholeFile(ErrorLog::path())); }
    static QString stamp() { return QStringLiteral("\\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d"); }
};

TEST_F(SessionLogTest, LinesInClientAndServerMode) {
    QFile::remove(ErrorLog::path());
    doc->LogErrors(QString());
    const QString ip = QRegularExpression::escape(doc->LocalIPAddress);
    QRegularExpression client(QStringLiteral("^Lumivex Error: , ") + stamp() +
                              QStringLiteral(", Lumivex IP Address: ") + ip +
                              QStringLiteral(", Client Mode, Remote Host: , RemotePort: 0\r\n$"));
    EXPECT_TRUE(client.match(log()).hasMatch()) << log().toStdString();

    virtualPort(30);
    server();
    activate();
    const QString port = QString::number(listeningPort());
    const QStringList lines = log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QRegularExpression server(
        QStringLiteral("^Lumivex Error: TCP/IP Status: Listening\\.\\.\\., ") + stamp() +
        QStringLiteral(", Lumivex IP Address: ") + ip +
        QStringLiteral(", Server Mode, Local Port: ") + port + "$");
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().contains(server)) << lines.last().toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].startsWith(
        QStringLiteral("Lumivex Error: Virtual Port COM30 created, ")));
}

TEST_F(SessionLogTest, NewWindowsLogTheirStatusAndLoggingOffWritesNothing) {
    QFile::remove(ErrorLog::path());
    frmDocument second(host);
    const QStringList lines = log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Lumivex Error: COM Status:, ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Lumivex Error: TCP/IP Status:, ")));

    QFile::remove(ErrorLog::path());
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
