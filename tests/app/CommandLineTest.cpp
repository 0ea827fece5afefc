#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = StartupCommand::Action;

TEST(CommandLine, SwitchesOrElseTheWholeLineAsAFileName) {
    const std::tuple<const char*, Action, bool, const char*> rows[] = {
        {"", Action::None, false, ""},
        {"/I", Action::Install, false, ""},
        {"-I S", Action::Install, true, ""},
        {" -ih ", Action::InstallHidden, false, ""},
        {"/IHS", Action::InstallHidden, true, ""},
        {"/U", Action::Uninstall, false, ""},
        {"-us", Action::Uninstall, true, ""},
        // Not switches: the whole line, as received, names a set file.
        {"S", Action::None, false, "S"},
        {"-i -u", Action::None, false, "-i -u"},
        {" my set.lvx ", Action::None, false, " my set.lvx "},
    };
    for (const auto& [line, action, silent, fileName] : rows) {
        const StartupCommand command = parseCommandLine(QString::fromUtf8(line));
        EXPECT_EQ(std::tuple(command.action, command.silent, command.fileName),
                  std::tuple(action, silent, QString::fromUtf8(fileName)))
            << line;
    }
}

TEST(CommandLine, HelpAndVersionAloneAreAnsweredAnythingElseRuns) {
    const auto answer = [](QStringList arguments) {
        arguments.prepend(QStringLiteral("lumivex"));
        return informationText(arguments);
    };
    EXPECT_TRUE(answer({QStringLiteral("--help")}).startsWith(QStringLiteral("Usage: lumivex")));
    EXPECT_EQ(answer({QStringLiteral("--version")}),
              QStringLiteral("lumivex " LUMIVEX_VERSION "\n"));
    for (const QStringList& runs : {QStringList{}, QStringList{QStringLiteral("-i")},
                                    QStringList{QStringLiteral("--help"), QStringLiteral("x")},
                                    QStringList{QStringLiteral("--HELP")}})
        EXPECT_TRUE(answer(runs).isEmpty()) << runs.join(QLatin1Char(' ')).toStdString();
}

} // namespace
