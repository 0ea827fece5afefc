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
    {"[Deactivate]",                        Kind::Deactivate,  -1, -1, -1, -1},
    {"\t[ACTIVATE]",                        Kind::Unknown,     -1, -1, -1, -1}, // only spaces trimmed
    {"",                                    Kind::Unknown,     -1, -1, -1, -1},
    {"[COMSETTINGS=19200,E,7,1]",           Kind::ComSettings,  8,  1,  2,  0},
    {"[COMSETTINGS=110,MARK,6,1.5]",        Kind::ComSettings,  0,  3,  1,  1},
    {"[COMSETTINGS=56000,N,8,1]",           Kind::ComSettings, -1,  0,  3,  0}, // not a listed rate
    {"[COMSETTINGS=9600,N,8]",              Kind::ComSettings,  6,  0, -1, -1}, // data bits need a comma after
    {"[COMSETTINGS=9600]",                  Kind::ComSettings, -1, -1, -1, -1},
    {"[COMSETTINGS=9600, N,8,1]",           Kind::ComSettings,  6, -1,  3,  0}, // parity untrimmed
    {"[COMSETTINGS=9600,N,8, 1.5 ]",        Kind::ComSettings,  6,  0,  3,  1}, // stop bits trimmed
    {"[COMSETTINGS= 4800abc,X,9,3]",        Kind::ComSettings,  5, -1, -1, -1}, // leading number only
    {"[COMSETTINGS=2399.6,E,8,1]",          Kind::ComSettings,  4,  1,  3,  0}, // rounded
    {"[COMSETTINGS=]9600],]E,8]],1]",       Kind::ComSettings,  6,  1,  3,  0}, // every ] removed
    {"[COMSETTINGS=9600,N,8,1,EXTRA]",      Kind::ComSettings,  6,  0,  3, -1}, // "1,EXTRA" no stop bits
    {"[COMSETTINGS =9600,N,8,1]",           Kind::Unknown,     -1, -1, -1, -1},
};
// clang-format on

TEST(SessionCommandGrammar, EveryRowParsesAsListed) {
    for (const GrammarRow& row : kGrammar) {
        SCOPED_TRACE(row.command);
        const auto parsed = SessionCommand::parse(QString::fromUtf8(row.command));
        EXPECT_EQ(
            std::tuple(parsed.kind, parsed.baud, parsed.parity, parsed.dataBits, parsed.stopBits),
            std::tuple(row.kind, row.baud, row.parity, row.dataBits, row.stopBits));
    }
}

TEST(SessionCommandGrammar, AppExitIsTheMainWindowsCommand) {
    const std::pair<const char*, bool> rows[] = {
        {"[APPEXIT] NOW", false}, {"[APPEXIT", false}, {"\t[APPEXIT]", false},
        {"[ACTIVATE]", false},    {"", false},
    };
    for (const auto& [command, accepted] : rows)
        EXPECT_EQ(isAppExitCommand(QString::fromUtf8(command)), accepted) << command;
}

// Real session windows on "None". Accepting and refusing [ACTIVATE] and [DEACTIVATE] by the
// session's state is checked through the program, with a virtual port that really opens.
class SessionCommandTest : public ::testing::Test {
protected:
    static QStringList listTexts(const frmDocument& d) {
        return {d.Combo1[0]->text(), d.Combo1[1]->text(), d.Combo1[2]->text(), d.Combo1[3]->text()};
    }

    IsolatedHome home;
    ScriptedHost host;
};

TEST_F(SessionCommandTest, ComSettingsSelectsTheListsAndGivesThePortTheirSettings) {
    // Each row starts from the window's defaults: 9600, None, 8, 1.
    // The command, the baud, parity, data and stop bits lists afterwards, the port's settings.
    const std::tuple<const char*, QStringList, const char*> rows[] = {
        {"[COMSETTINGS=19200,E,7,1]", {"19200", "Even", "7", "1"}, "19200,E,7,1"},
        {"[COMSETTINGS=56000,O,8,2]", {"9600", "Odd", "8", "2"}, "9600,O,8,2"},
        {"[COMSETTINGS=115200, E,7,1]", {"115200", "None", "7", "1"}, "115200,N,7,1"},
    };
    for (const auto& [command, lists, port] : rows) {
        SCOPED_TRACE(command);
        frmDocument fresh{host};
        EXPECT_TRUE(executeSessionCommand(fresh, QString::fromUtf8(command)));
        EXPECT_EQ(listTexts(fresh), lists);
        EXPECT_EQ(fresh.MSComm1().settings(), QString::fromUtf8(port));
    }
}

} // namespace
