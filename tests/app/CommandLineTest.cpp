#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = StartupCommand::Action;

struct Row {
    const char* commandLine;
    Action action;
    bool silent;
    const char* fileName;
};

class CommandLineGrammar : public ::testing::TestWithParam<Row> {};

TEST_P(CommandLineGrammar, Parses) {
    const Row& row = GetParam();
    const StartupCommand command = parseCommandLine(QString::fromUtf8(row.commandLine));
    EXPECT_EQ(command.action, row.action);
    EXPECT_EQ(command.silent, row.silent);
    EXPECT_EQ(command.fileName, QString::fromUtf8(row.fileName));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLineGrammar,
    ::testing::Values(
        Row{"", Action::None, false, ""}, Row{"-i", Action::Install, false, ""},
        Row{"/I", Action::Install, false, ""}, Row{"-IS", Action::Install, true, ""},
        Row{"-is", Action::Install, true, ""}, Row{" -ih ", Action::InstallHidden, false, ""},
        Row{"/IHS", Action::InstallHidden, true, ""}, Row{"/U", Action::Uninstall, false, ""},
        Row{"-us", Action::Uninstall, true, ""}, Row{"-I S", Action::Install, true, ""},
        // Not switches: the whole line, as received, names a set file.
        Row{"-X", Action::None, false, "-X"}, Row{"sessions", Action::None, false, "sessions"},
        Row{"plant s", Action::None, false, "plant s"}, Row{"-i -u", Action::None, false, "-i -u"},
        Row{"\"my set.lvx\"", Action::None, false, "\"my set.lvx\""},
        Row{" two words.lvx ", Action::None, false, " two words.lvx "},
        Row{"S", Action::None, false, "S"}));

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
    EXPECT_EQ(commandLineFromArguments({"lumivex"}), QString());
    EXPECT_EQ(commandLineFromArguments({"lumivex", "-i"}), QStringLiteral("-i"));
    EXPECT_EQ(commandLineFromArguments({"lumivex", "my", "set.lvx"}), QStringLiteral("my set.lvx"));
    EXPECT_EQ(commandLineFromArguments({"lumivex", "a  b"}), QStringLiteral("a  b"));
}

} // namespace
