#include "model/GlobalSettings.h"
#include "tests/app/MainFixture.h"

#include <QFile>

namespace {

class SetFileTest : public MainFixture {
protected:
    void SetUp() override { main = makeMain(); }
    // Reads a file written by hand into the main window model.
    void load(const QByteArray& contents) {
        ASSERT_TRUE(writeWholeFile(file, contents));
        main->getprofilesettings(file);
    }

    QString file = home.path(QStringLiteral("set.lvx"));
    std::unique_ptr<frmMain> main;
};

TEST_F(SetFileTest, SettingsRoundTrip) {
    load("[Lumivex]\nNumSessions=2\nMainLeft=1500\nMainTop=2250\nMainWidth=9000\nMainHeight=6000\n"
         "WindowState=2\nOnErrorRunApp=/usr/bin/logger lumivex\nLogErrors=1\nPingEnabled=1\n"
         "PingFrequency=5\nPingTimeout=3\nPacketSize=4000\nLoadWithWindows=0\nPassword=\n"
         "[Session1]\nConnector=3\nBaudRate=12\nParity=3\nDatabits=2\nStopbits=2\nFlowControl=3\n"
         "BufferSize=5\nCreateVirtualPort=1\nUseUDP=0\nBufferSerialData=1\nIPAddress=plc.local\n"
         "PortNumber=2101\nTCPOption=0\nWaitForCr=1\nTimeoutValue=250\nAllowMultiConnect=0\n"
         "ServerSerialOptions=2\nServerTCPOptions=1\nClientOptions=2\nConnectOnVirtualOpen=0\n"
         "UserPrompt=login:\nUserPromptResponse=op\nPasswordPrompt=pw:\n"
         "PasswordPromptResponse=secret\nSessionDescription=Scale line 2\n"
         "[Session2]\nConnector=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=4001\nUseUDP=1\n");
    ASSERT_EQ(main->documents().size(), 2u);
    frmDocument* a = main->documents()[0];
    EXPECT_EQ(a->Combo1[0]->text(), QStringLiteral("115200"));
    EXPECT_EQ(a->options.PasswordPromptResponse, QStringLiteral("secret"));
    EXPECT_EQ(a->caption(), QStringLiteral("Scale line 2"));
    EXPECT_TRUE(main->documents()[1]->LocalIP->visible());

    const QString copy = home.path(QStringLiteral("copy.lvx"));
    main->writeprofilesettings(copy);
    auto again = makeMain();
    again->getprofilesettings(copy);
    ASSERT_EQ(again->documents().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        frmDocument* x = main->documents()[i];
        frmDocument* y = again->documents()[i];
        EXPECT_EQ(x->Combo2->listIndex(), y->Combo2->listIndex());
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(x->Combo1[k]->listIndex(), y->Combo1[k]->listIndex());
        EXPECT_EQ(x->options, y->options);
        EXPECT_EQ(x->caption(), y->caption());
        EXPECT_EQ(x->PortNumber->text(), y->PortNumber->text());
        EXPECT_EQ(x->TCPOption[1]->value(), y->TCPOption[1]->value());
    }
    EXPECT_EQ(again->Left, 1500);
    EXPECT_EQ(again->Top, 2250);
}

TEST_F(SetFileTest, OddValuesFollowTheReadingRules) {
    load("[Lumivex]\nNumSessions=3\n"
         "[Session1]\nTCPOption=5\nAutoActivate=2\nConnector=5000\nParity=-1\n"
         "[Session2]\nConnector=2\nAutoActivate=1\nCreateVirtualPort=7\n"
         "[Session3]\nAutoActivate=1x\nTimeoutValue=abc\n"
         "[Session4]\nConnector=9\n");
    ASSERT_EQ(main->documents().size(), 3u);
    frmDocument* a = main->documents()[0];
    EXPECT_TRUE(a->TCPOption[1]->value()); // any non-zero is the server
    EXPECT_EQ(a->Combo2->listIndex(), 0);  // refused, keeps the new-window value
    EXPECT_EQ(a->Combo1[1]->listIndex(), 0);
    EXPECT_EQ(a->Combo1[0]->listIndex(), 0); // missing BaudRate reads as index 0
    EXPECT_EQ(a->options.UserPrompt, QStringLiteral("Username:"));
    EXPECT_EQ(a->options.PasswordPrompt, QStringLiteral("Password:"));
    EXPECT_EQ(a->options.AllowMultiConnect, 1);
    EXPECT_EQ(main->documents()[1]->chkVPort->value(), 0);
    EXPECT_EQ(main->documents()[2]->txtTimeoutValue->text(), QStringLiteral("0"));
    // Only exactly 1 marks a session for activation; "1x" reads as 1.
    EXPECT_EQ(main->AutoActivateList, (std::vector<qint16>{0, 0, 1, 1, 0}));

    main->documents()[0]->txtTimeoutValue->setText(QStringLiteral("12abc"));
    main->writeprofilesettings(file);
    const QByteArray text = readWholeFile(file);
    EXPECT_TRUE(text.contains("[Session1]\nTCPOption=1\nAutoActivate=0\n"));
    EXPECT_TRUE(text.contains("TimeoutValue=12\n"));
    // Sections beyond the count stay in the file.
    EXPECT_TRUE(text.contains("[Session4]\nConnector=9\n"));
    EXPECT_TRUE(text.contains("NumSessions=3\n"));
}

TEST_F(SetFileTest, ANegativeCountGivesOneNewSessionAndAHugeOneIsCapped) {
    load("[Lumivex]\nNumSessions=-4\n[Session1]\nConnector=3\n");
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0]->Combo2->listIndex(), 0);
    load("[Lumivex]\nNumSessions=2147483647\n");
    EXPECT_EQ(main->documents().size(), 1024u);
}

TEST_F(SetFileTest, AWindowsFileWithCrLfAndOtherCaseReadsAndKeepsItsStyle) {
    load("; written on Windows\r\n[LUMIVEX]\r\nnumsessions=1\r\nMAINLEFT=2000\r\nExtraKey=kept\r\n"
         "\r\n[session1]\r\nconnector=4\r\nbaudrate=8\r\nportnumber=5000\r\nipaddress=10.1.2.3\r\n"
         "Custom=yes\r\n");
    ASSERT_EQ(main->documents().size(), 1u);
    frmDocument* doc = main->documents()[0];
    EXPECT_EQ(doc->Combo2->text(), QStringLiteral("COM4"));
    EXPECT_EQ(doc->Combo1[0]->text(), QStringLiteral("19200"));
    EXPECT_EQ(doc->PortNumber->text(), QStringLiteral("5000"));
    EXPECT_EQ(main->Left, 2000);

    main->writeprofilesettings(file);
    const QByteArray text = readWholeFile(file);
    EXPECT_TRUE(text.startsWith("; written on Windows\r\n"));
    EXPECT_TRUE(text.contains("ExtraKey=kept\r\n"));
    EXPECT_TRUE(text.contains("Custom=yes\r\n"));
    EXPECT_EQ(text.count('\n'), text.count("\r\n"));
    // Replaced in place, not added a second time under another case.
    EXPECT_EQ(text.toLower().count("connector="), 1);
}

TEST_F(SetFileTest, MinimizedWindowKeepsTheStoredPlace) {
    load("[Lumivex]\nMainLeft=1234\nMainTop=99\n");
    main->setGeometry(0, 0, 150, 150);
    main->setWindowState(1);
    main->writeprofilesettings(file);
    const QByteArray text = readWholeFile(file);
    EXPECT_TRUE(text.contains("MainLeft=1234\n"));
    EXPECT_TRUE(text.contains("MainTop=99\n"));
    EXPECT_FALSE(text.contains("MainWidth"));
    EXPECT_TRUE(text.contains("WindowState=1\n"));
}

TEST_F(SetFileTest, AFileWithAPasswordIsPrivate) {
    main->NewSession();
    globals().Password = QStringLiteral("s3cret");
    main->writeprofilesettings(file);
    globals().Password.clear();
    EXPECT_EQ(QFile(file).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    EXPECT_TRUE(readWholeFile(file).contains("Password=s3cret\n"));
}

TEST_F(SetFileTest, ReadingReplacesEverySessionWindow) {
    main->NewSession();
    main->NewSession();
    load("[Lumivex]\nNumSessions=1\n[Session1]\nConnector=1\n");
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0]->Combo2->text(), QStringLiteral("COM1"));
}

} // namespace
