#include "app/IniFile.h"
#include "session/ErrorLog.h"
#include "tests/app/MainFixture.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SetFileTest : public MainFixture {
protected:
    void SetUp() override { main = makeMain(); }
    void load(const QByteArray& contents) {
        ASSERT_TRUE(writeWholeFile(file, contents));
        main->getprofilesettings(file);
    }
    QByteArray written() {
        main->writeprofilesettings(file);
        return readWholeFile(file);
    }

    QString file = home.path(QStringLiteral("set.lvx"));
    std::unique_ptr<frmMain> main;
};

// Every entry read is written back as it was, in its own section.
TEST_F(SetFileTest, SettingsRoundTrip) {
    const QString input = QStringLiteral(
        "[Lumivex]\nNumSessions=2\nMainLeft=1500\nMainTop=2250\nMainWidth=9000\nMainHeight=6000\n"
        "WindowState=2\n[Session1]\nConnector=3\nBaudRate=12\nParity=3\nDatabits=2\nStopbits=2\n"
        "FlowControl=3\nBufferSize=5\nCreateVirtualPort=1\nUseUDP=0\nBufferSerialData=1\n"
        "IPAddress=plc.local\nPortNumber=2101\nTCPOption=0\nWaitForCr=1\nTimeoutValue=250\n"
        "AllowMultiConnect=0\nServerSerialOptions=2\nServerTCPOptions=1\nClientOptions=2\n"
        "ConnectOnVirtualOpen=0\nComPortControl=1\nUserPrompt=login:\nUserPromptResponse="
        "op\nPasswordPrompt=pw:\n"
        "PasswordPromptResponse=secret\nSessionDescription=Scale line 2\n"
        "[Session2]\nConnector=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=4001\nUseUDP=1\n");
    load(input.toUtf8());
    ASSERT_EQ(main->documents().size(), 2u);
    EXPECT_EQ(main->documents()[0]->Combo1[0]->text(), QStringLiteral("115200"));
    EXPECT_TRUE(main->documents()[1]->LocalIP->visible());
    const QString copy = home.path(QStringLiteral("copy.lvx"));
    ASSERT_TRUE(main->writeprofilesettings(copy));
    const IniFile out(copy);
    QString section;
    for (const QString& line : input.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'['))
            section = line.mid(1, line.size() - 2);
        else
            EXPECT_EQ(out.readString(section, line.section(u'=', 0, 0), {}), line.section(u'=', 1))
                << section.toStdString() << ": " << line.toStdString();
    }
}

TEST_F(SetFileTest, OddValuesFollowTheReadingRules) {
    load("[Lumivex]\nNumSessions=3\n"
         "[Session1]\nTCPOption=5\nAutoActivate=2\nConnector=5000\nParity=-1\n"
         "[Session2]\nConnector=2\nAutoActivate=1\nCreateVirtualPort=7\n"
         "[Session3]\nAutoActivate=1x\nTimeoutValue=abc\n"
         "[Session4]\nConnector=9\n");
    ASSERT_EQ(main->documents().size(), 3u);
    // Any non-zero TCPOption is the server; a refused connector or parity keeps the new-window
    // value; a missing BaudRate reads as index 0; an absent ComPortControl is off.
    const frmDocument* a = main->documents()[0];
    EXPECT_EQ(std::tuple(a->TCPOption[1]->value(), a->Combo2->listIndex(),
                         a->Combo1[1]->listIndex(), a->Combo1[0]->listIndex(),
                         a->ioOptions().UserPrompt, a->ioOptions().ComPortControl,
                         main->documents()[1]->chkVPort->value(),
                         main->documents()[2]->txtTimeoutValue->text()),
              std::tuple(true, 0, 0, 0, QStringLiteral("Username:"), 0, 0, QStringLiteral("0")));
    // Only exactly 1 marks a session for activation; "1x" reads as 1.
    EXPECT_EQ(main->AutoActivateList, (std::vector<qint16>{0, 0, 1, 1, 0}));

    main->documents()[0]->txtTimeoutValue->setText(QStringLiteral("12abc"));
    const QByteArray text = written();
    EXPECT_TRUE(text.contains("[Session1]\nTCPOption=1\nAutoActivate=0\n"));
    EXPECT_TRUE(text.contains("TimeoutValue=12\n"));
    EXPECT_TRUE(text.contains("[Session4]\nConnector=9\n")); // beyond the count: kept
}

TEST_F(SetFileTest, ReadingReplacesEveryWindowAndTheCountIsBounded) {
    main->NewSession();
    main->NewSession();
    load("[Lumivex]\nNumSessions=-4\n[Session1]\nConnector=3\n");
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0]->Combo2->listIndex(), 0);
    load("[Lumivex]\nNumSessions=2147483647\n");
    EXPECT_EQ(main->documents().size(), 1024u);
}

TEST_F(SetFileTest, MinimizedWindowKeepsTheStoredPlace) {
    load("[Lumivex]\nMainLeft=1234\nMainTop=99\n");
    main->setGeometry(0, 0, 150, 150);
    main->setWindowState(1);
    EXPECT_TRUE(written().startsWith(
        "[Lumivex]\nMainLeft=1234\nMainTop=99\nNumSessions=1\nWindowState=1\n"));
}

// The command runs at every status change: it is taken from a file of the user's own only, and
// from an opened one only once the user agreed; the default set at start-up needs no question.
TEST_F(SetFileTest, TheCommandIsTakenOnlyFromAnOwnFileAndOnlyOnceAllowed) {
    // The file's mode (an owner of 0: nobody's), read at start-up, a screen, the answer, the
    // command then, the questions and messages.
    const std::tuple<const char*, mode_t, bool, bool, bool, const char*, int, int> rows[] = {
        {"opened, allowed", 0600, false, true, true, "new", 1, 0},
        {"opened, refused", 0644, false, true, false, "old", 1, 0},
        {"headless trusts an own file", 0600, false, false, false, "new", 0, 0},
        {"default set at start-up", 0600, true, true, false, "new", 0, 0},
        {"others may change it", 0666, false, true, true, "old", 0, 1},
        {"the group may change it, headless", 0620, true, false, true, "old", 0, 0},
        {"another user's", 0, false, true, true, "old", 0, 1},
    };
    for (const auto& [name, mode, atStart, screen, yes, command, questions, messages] : rows) {
        SCOPED_TRACE(name);
        const QString set = atStart ? defaultFile() : file;
        ASSERT_TRUE(writeWholeFile(set, "[Lumivex]\nOnErrorRunApp=new\nLogErrors=1\n"));
        if (mode == 0 && ::geteuid() != 0)
            continue; // only root gives a file away
        ASSERT_TRUE(mode != 0 ? ::chmod(QFile::encodeName(set).constData(), mode) == 0
                              : ::chown(QFile::encodeName(set).constData(), 65534, 65534) == 0);
        std::tie(host.screen, host.yes) = std::tuple(screen, yes);
        host.questions.clear();
        host.messages.clear();
        globals().OnErrorRunApp = QStringLiteral("old");
        auto opened = atStart ? started() : nullptr;
        if (!atStart)
            main->getprofilesettings(file);
        EXPECT_EQ(std::tuple(globals().OnErrorRunApp, int(host.questions.size()),
                             int(host.messages.size())),
                  std::tuple(QString::fromUtf8(command), questions, messages));
        QFile::remove(set);
    }
    EXPECT_TRUE(readWholeFile(ErrorLog::path()).contains("The command for errors in "));
    // The command in use, or none, asks nothing.
    host.questions.clear();
    load("[Lumivex]\nOnErrorRunApp=old\n");
    load("[Lumivex]\n");
    EXPECT_TRUE(host.questions.isEmpty() && globals().OnErrorRunApp.isEmpty());
}

} // namespace
