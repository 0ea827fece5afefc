// The session commands: the grammar with its leniencies, and what a command does to a real
// session window and its serial port component.

#include "session/SessionCommand.h"

#include "platform/SerialPort.h"
#include "session/frmDocument.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Kind = SessionCommand::Kind;

struct GrammarRow {
    const char* command;
    Kind kind;
    int baud, parity, dataBits, stopBits; // -1: the list stays as it is
};

// clang-format off
const GrammarRow kGrammar[] = {
    {"[ACTIVATE]",                          Kind::Activate,    -1, -1, -1, -1},
    {"  [activate]  ",                      Kind::Activate,    -1, -1, -1, -1},
    {"[Deactivate]",                        Kind::Deactivate,  -1, -1, -1, -1},
    {"\t[ACTIVATE]",                        Kind::Unknown,     -1, -1, -1, -1}, // only spaces trimmed
    {"[ACTIVATE] NOW",                      Kind::Unknown,     -1, -1, -1, -1},
    {"[ACTIVATE",                           Kind::Unknown,     -1, -1, -1, -1},
    {"",                                    Kind::Unknown,     -1, -1, -1, -1},
    {"[COMSETTINGS=19200,E,7,1]",           Kind::ComSettings,  8,  1,  2,  0},
    {"[comsettings=115200,odd,5,2]",        Kind::ComSettings, 12,  2,  0,  2},
    {"[COMSETTINGS=110,MARK,6,1.5]",        Kind::ComSettings,  0,  3,  1,  1},
    {"[COMSETTINGS=921600,S,8,1]",          Kind::ComSettings, 15,  4,  3,  0},
    {"[COMSETTINGS=300,NONE,8,1]",          Kind::ComSettings,  1,  0,  3,  0},
    {"[COMSETTINGS=56000,N,8,1]",           Kind::ComSettings, -1,  0,  3,  0}, // not a listed rate
    {"[COMSETTINGS=9600,N,8]",              Kind::ComSettings,  6,  0, -1, -1}, // data bits need a comma after
    {"[COMSETTINGS=9600]",                  Kind::ComSettings, -1, -1, -1, -1},
    {"[COMSETTINGS=]",                      Kind::ComSettings, -1, -1, -1, -1},
    {"[COMSETTINGS=",                       Kind::ComSettings, -1, -1, -1, -1},
    {"[COMSETTINGS=9600, N,8,1]",           Kind::ComSettings,  6, -1,  3,  0}, // parity untrimmed
    {"[COMSETTINGS=9600,N,8, 1.5 ]",        Kind::ComSettings,  6,  0,  3,  1}, // stop bits trimmed
    {"[COMSETTINGS=9600,N, 7 ,2]",          Kind::ComSettings,  6,  0,  2,  2}, // data bits trimmed
    {"[COMSETTINGS=9600,N,8,]",             Kind::ComSettings,  6,  0,  3, -1}, // empty stop bits
    {"[COMSETTINGS= 4800abc,X,9,3]",        Kind::ComSettings,  5, -1, -1, -1}, // leading number only
    {"[COMSETTINGS=2399.6,E,8,1]",          Kind::ComSettings,  4,  1,  3,  0}, // rounded
    {"[COMSETTINGS=abc,E,8,1]",             Kind::ComSettings, -1,  1,  3,  0}, // no number is 0
    {"[COMSETTINGS=]9600],]E,8]],1]",       Kind::ComSettings,  6,  1,  3,  0}, // every ] removed
    {"[COMSETTINGS=9600,N,8,1,EXTRA]",      Kind::ComSettings,  6,  0,  3, -1}, // "1,EXTRA" no stop bits
    {"[COMSETTINGS =9600,N,8,1]",           Kind::Unknown,     -1, -1, -1, -1},
    {"[APPEXIT]",                           Kind::Unknown,     -1, -1, -1, -1},
};
// clang-format on

TEST(SessionCommandGrammar, EveryRowParsesAsListed) {
    for (const GrammarRow& row : kGrammar) {
        SCOPED_TRACE(row.command);
        const SessionCommand parsed = SessionCommand::parse(QString::fromUtf8(row.command));
        EXPECT_EQ(parsed.kind, row.kind);
        EXPECT_EQ(parsed.baud, row.baud);
        EXPECT_EQ(parsed.parity, row.parity);
        EXPECT_EQ(parsed.dataBits, row.dataBits);
        EXPECT_EQ(parsed.stopBits, row.stopBits);
    }
}

TEST(SessionCommandGrammar, AppExitIsTheMainWindowsCommand) {
    const std::pair<const char*, bool> rows[] = {
        {"[APPEXIT]", true},      {"[appexit]", true}, {"   [AppExit]  ", true},
        {"[APPEXIT] NOW", false}, {"[APPEXIT", false}, {"\t[APPEXIT]", false},
        {"[ACTIVATE]", false},    {"", false},
    };
    for (const auto& [command, accepted] : rows)
        EXPECT_EQ(isAppExitCommand(QString::fromUtf8(command)), accepted) << command;
}

// A real session window on "None", whose activation never opens anything.
class SessionCommandTest : public ::testing::Test {
protected:
    bool run(const char* command) { return executeSessionCommand(doc, QString::fromUtf8(command)); }
    QStringList listTexts() const {
        return {doc.Combo1[0]->text(), doc.Combo1[1]->text(), doc.Combo1[2]->text(),
                doc.Combo1[3]->text()};
    }

    IsolatedHome home;
    ScriptedHost host;
    frmDocument doc{host};
};

TEST_F(SessionCommandTest, ActivateAndDeactivateClickOnlyFromTheOtherState) {
    struct Row {
        const char* caption; // the Activate button's caption, that is, the session's state
        const char* command;
        bool accepted; // and the button clicked
    };
    const Row rows[] = {
        {"Activate", "[ACTIVATE]", true},      {"Activate", " [activate] ", true},
        {"De-Activate", "[ACTIVATE]", false},  {"De-Activate", "[DEACTIVATE]", true},
        {"Activate", "[DEACTIVATE]", false},   {"De-Activate", "[deactivate]  ", true},
        {"Activate", "[ACTIVATE] now", false}, {"De-Activate", "hello", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.caption) + " " + row.command);
        doc.Command1->setCaption(QString::fromUtf8(row.caption));
        // Any click of the button rewrites the network status (here: an error or "Closed").
        doc.StatusBar1[1]->setCaption(QStringLiteral("untouched"));
        EXPECT_EQ(run(row.command), row.accepted);
        EXPECT_EQ(doc.StatusBar1[1]->caption() != QStringLiteral("untouched"), row.accepted);
    }
}

struct SettingsRow {
    const char* command;
    QStringList lists; // baud, parity, data bits, stop bits afterwards
    const char* port;  // the settings the serial port was given
};

TEST_F(SessionCommandTest, ComSettingsSelectsTheListsAndGivesThePortTheirSettings) {
    // Each row starts from the window's defaults: 9600, None, 8, 1.
    const SettingsRow rows[] = {
        {"[COMSETTINGS=19200,E,7,1]", {"19200", "Even", "7", "1"}, "19200,E,7,1"},
        {"[COMSETTINGS=56000,O,8,2]", {"9600", "Odd", "8", "2"}, "9600,O,8,2"},
        {"[COMSETTINGS=1200,M,7,2]", {"1200", "Mark", "7", "2"}, "1200,M,7,2"},
        {"[COMSETTINGS=600,SPACE,6,1]", {"600", "Space", "6", "1"}, "600,S,6,1"},
        {"[COMSETTINGS=4800,E,6]", {"4800", "Even", "8", "1"}, "4800,E,8,1"},
        {"[COMSETTINGS=]", {"9600", "None", "8", "1"}, "9600,N,8,1"},
        {"[COMSETTINGS=115200, E,7,1]", {"115200", "None", "7", "1"}, "115200,N,7,1"},
        {"[COMSETTINGS=9600,N,8, 1.5 ]", {"9600", "None", "8", "1.5"}, "9600,N,8,1.5"},
    };
    for (const SettingsRow& row : rows) {
        SCOPED_TRACE(row.command);
        frmDocument fresh{host};
        EXPECT_TRUE(executeSessionCommand(fresh, QString::fromUtf8(row.command)));
        EXPECT_EQ(QStringList({fresh.Combo1[0]->text(), fresh.Combo1[1]->text(),
                               fresh.Combo1[2]->text(), fresh.Combo1[3]->text()}),
                  row.lists);
        EXPECT_EQ(fresh.MSComm1().settings(), QString::fromUtf8(row.port));
    }
}

TEST_F(SessionCommandTest, ComSettingsBuildOnWhatTheListsHold) {
    ASSERT_TRUE(run("[COMSETTINGS=19200,E,7,2]"));
    ASSERT_TRUE(run("[COMSETTINGS=9600]")); // changes nothing, still accepted and applied
    EXPECT_EQ(listTexts(), QStringList({"19200", "Even", "7", "2"}));
    EXPECT_EQ(doc.MSComm1().settings(), QStringLiteral("19200,E,7,2"));
    EXPECT_TRUE(run("[comsettings=57600,x,9,4]"));
    EXPECT_EQ(listTexts(), QStringList({"57600", "Even", "7", "2"}));
}

} // namespace
