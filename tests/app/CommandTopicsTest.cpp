// Commands reaching the windows by topic: sessions by their connector text, the main by "System".

#include "app/CommandTopics.h"

#include "platform/SerialPort.h"
#include "tests/app/MainFixture.h"

namespace {

class CommandTopicsTest : public MainFixture {
protected:
    void SetUp() override {
        main = started(); // one new session on "None"
        com3 = main->NewSession();
        com3->Combo2->setListIndex(3);
    }
    CommandReply run(const char* topic, const char* command) {
        return executeCommand(*main, QString::fromUtf8(topic), QString::fromUtf8(command));
    }

    std::unique_ptr<frmMain> main;
    frmDocument* com3 = nullptr;
};

TEST_F(CommandTopicsTest, SessionsByTheirConnectorWithTheOlderWindowForTwoAndSystemForAppExit) {
    EXPECT_EQ(run("com3", "[comsettings=300,n,8,2]"), CommandReply::Accepted);
    EXPECT_EQ(com3->MSComm1().settings(), QStringLiteral("300,N,8,2"));
    EXPECT_EQ(main->documents()[0]->Combo1[0]->text(), QStringLiteral("9600"));
    EXPECT_EQ(run("COM3", "[COMSETTINGS"), CommandReply::Refused);
    EXPECT_EQ(run("COM3 ", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);

    com3->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM3", "[COMSETTINGS=600,O,8,1]"), CommandReply::NoSuchTopic);
    frmDocument* second = main->NewSession();
    second->Combo2->setListIndex(5);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=1200,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("9600"));
    main->closeDocument(com3);
    EXPECT_EQ(run("COM5", "[COMSETTINGS=2400,E,8,1]"), CommandReply::Accepted);
    EXPECT_EQ(second->Combo1[0]->text(), QStringLiteral("2400"));
    // "System" takes only "[APPEXIT]"; the exit that follows is checked through the program.
    EXPECT_EQ(run("System", "[ACTIVATE]"), CommandReply::Refused);
    EXPECT_EQ(run("system", "  [appexit] "), CommandReply::Accepted);
}

} // namespace
