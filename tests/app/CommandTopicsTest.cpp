// Commands reaching the windows by topic: sessions by their connector text, the main window
// by "System", where "[APPEXIT]" ends the program half a second later with the set saved.

#include "app/CommandTopics.h"

#include "platform/SerialPort.h"
#include "tests/app/MainFixture.h"

#include <QSignalSpy>

namespace {

class CommandTopicsTest : public MainFixture {
protected:
    void SetUp() override {
        main = makeMain();
        main->Timer1_Timer(); // the start-up: one new session on "None"
        ASSERT_EQ(main->documents().size(), 1u);
        none = main->documents()[0];
        com3 = main->NewSession();
        com3->Combo2->setListIndex(3);
    }
    CommandReply run(const char* topic, const char* command) {
        return executeCommand(*main, QString::fromUtf8(topic), QString::fromUtf8(command));
    }

    std::unique_ptr<frmMain> main;
    frmDocument* none = nullptr;
    frmDocument* com3 = nullptr;
};

TEST_F(CommandTopicsTest, ASessionIsAddressedByItsConnectorText) {
    EXPECT_EQ(run("COM3", "[COMSETTINGS=19200,E,7,1]"), CommandReply::Accepted);
    EXPECT_EQ(com3->MSComm1().settings(), QStringLiteral("19200,E,7,1"));
    EXPECT_EQ(none->Combo1[0]->text(), QStringLiteral("9600"));
    EXPECT_EQ(run("com3", "[comsettings=300,n,8,2]"), CommandReply::Accepted);
    EXPECT_EQ(com3->MSComm1().settings(), QStringLiteral("300,N,8,2"));
    EXPECT_EQ(run("None", "[COMSETTINGS=600,O,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(none->Combo1[0]->text(), QStringLiteral("600"));
    EXPECT_EQ(run("COM3", "[DEACTIVATE]"), CommandReply::Refused);
    EXPECT_EQ(run("COM3", "[COMSETTINGS"), CommandReply::Refused);
    EXPECT_EQ(run("COM4", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
    EXPECT_EQ(run("", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
    EXPECT_EQ(run("COM3 ", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
}

TEST_F(CommandTopicsTest, TheTopicFollowsTheConnectorAndTheOlderWindowAnswersForTwo) {
    com3->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM3", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
    frmDocument* second = main->NewSession();
    second->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=1200,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(com3->Combo1[0]->text(), QStringLiteral("1200"));
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("9600"));
    main->closeDocument(com3);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=2400,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("2400"));
}

TEST_F(CommandTopicsTest, SystemTakesOnlyAppExit) {
    for (const char* refused : {"[APPEXIT] now", "[ACTIVATE]", "[COMSETTINGS=9600,N,8,1]", ""})
        EXPECT_EQ(run("System", refused), CommandReply::Refused) << refused;
    EXPECT_FALSE(main->ExitRequested);
    EXPECT_FALSE(main->Timer1.isActive());
}

TEST_F(CommandTopicsTest, AppExitEndsTheProgramAtTheNextTickWithTheSetSaved) {
    QSignalSpy ended(main.get(), &frmMain::ended);
    EXPECT_EQ(run("COM3", "[COMSETTINGS=19200,E,7,1]"), CommandReply::Accepted);
    EXPECT_EQ(run("system", "  [appexit] "), CommandReply::Accepted);
    EXPECT_TRUE(main->ExitRequested);
    EXPECT_TRUE(main->Timer1.isActive());
    EXPECT_EQ(main->Timer1.interval(), 500);
    EXPECT_TRUE(ended.isEmpty()); // acknowledged first, ended later
    EXPECT_FALSE(QFile::exists(defaultFile()));

    main->Timer1_Timer();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended.front().front().toInt(), 0);
    const QByteArray saved = readWholeFile(defaultFile());
    EXPECT_TRUE(saved.contains("[Session2]\nConnector=3\nBaudRate=8\nParity=1\nDatabits=2\n"))
        << saved.constData();
}

} // namespace
