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
    EXPECT_EQ(run("com3", "[comsettings=300,n,8,2]"), CommandReply::Accepted);
    EXPECT_EQ(com3->MSComm1().settings(), QStringLiteral("300,N,8,2"));
    EXPECT_EQ(none->Combo1[0]->text(), QStringLiteral("9600"));
    EXPECT_EQ(run("COM3", "[COMSETTINGS"), CommandReply::Refused);
    EXPECT_EQ(run("COM3 ", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
}

TEST_F(CommandTopicsTest, TheTopicFollowsTheConnectorAndTheOlderWindowAnswersForTwo) {
    com3->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM3", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
    frmDocument* second = main->NewSession();
    second->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=1200,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("9600"));
    main->closeDocument(com3);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=2400,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("2400"));
}

TEST_F(CommandTopicsTest, SystemTakesOnlyAppExitAndEndsTheProgramAtTheNextTick) {
    EXPECT_EQ(run("System", "[ACTIVATE]"), CommandReply::Refused);
    QSignalSpy ended(main.get(), &frmMain::ended);
    EXPECT_EQ(run("system", "  [appexit] "), CommandReply::Accepted);
    EXPECT_TRUE(ended.isEmpty()); // acknowledged first, ended later
    main->Timer1_Timer();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended.front().front().toInt(), 0);
    EXPECT_TRUE(QFile::exists(defaultFile()));
}

} // namespace
