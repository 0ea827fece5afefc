#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = StartupCommand::Action;

TEST(CommandLine, SwitchesOrElseTheWholeLineAsAFileName) {
    // Not switches ("S", "-i -u", ...): the whole line, as received, names a set file.
    const std::tuple<const char*, Action, bool, const char*> rows[] = {
        {"", Action::None, false, ""},
        {"/I", Action::Install, false, ""},
        {"-I S", Action::Install, true, ""},
        {" -ih ", Action::InstallHidden, false, ""},
        {"/IHS", Action::InstallHidden, true, ""},
        {"/U", Action::Uninstall, false, ""},
        {"-us", Action::Uninstall, true, ""},
        {"S", Action::None, false, "S"},
        {"-i -u", Action::None, false, "-i -u"},
        {" my set.lvx ", Action::None, false, " my set.lvx "}};
    for (const auto& [line, action, silent, fileName] : rows) {
        const StartupCommand command = parseCommandLine(QString::fromUtf8(line));
        EXPECT_EQ(std::tuple(command.action, command.silent, command.fileName),
                  std::tuple(action, silent, QString::fromUtf8(fileName)))
            << line;
    }
}

// "--help" and "--version" alone are answered, never taken for set file names.
TEST(CommandLine, HelpAndVersionAloneAreAnsweredAnythingElseRuns) {
    const auto answer = [](const QStringList& arguments) {
        return informationText(QStringList{QStringLiteral("lumivex")} + arguments);
    };
    EXPECT_TRUE(answer({QStringLiteral("--help")}).startsWith(QStringLiteral("Usage: lumivex")));
    EXPECT_TRUE(answer({QStringLiteral("--version")}).startsWith(QStringLiteral("lumivex ")));
    for (const QStringList& runs : {QStringList{}, QStringList{QStringLiteral("-i")},
                                    QStringList{QStringLiteral("--help"), QStringLiteral("x")},
                                    QStringList{QStringLiteral("--HELP")}})
        EXPECT_TRUE(answer(runs).isEmpty()) << runs.join(QLatin1Char(' ')).toStdString();
}

} // namespace
