#include "app/CommandLine.h"

StartupCommand parseCommandLine(const QString& commandLine) {
    StartupCommand command;
    if (commandLine.isEmpty())
        return command;

    QString word = commandLine.trimmed().toUpper();
    bool silent = false;
    if (word.endsWith(QLatin1Char('S'))) {
        silent = true;
        word.chop(1);
        word = word.trimmed().toUpper();
    }
    using Action = StartupCommand::Action;
    if (word == QLatin1String("-IH") || word == QLatin1String("/IH"))
        command.action = Action::InstallHidden;
    else if (word == QLatin1String("-I") || word == QLatin1String("/I"))
        command.action = Action::Install;
    else if (word == QLatin1String("-U") || word == QLatin1String("/U"))
        command.action = Action::Uninstall;

    if (command.action == Action::None)
        command.fileName = commandLine;
    else
        command.silent = silent;
    return command;
}

QString commandLineFromArguments(const QStringList& arguments) {
    return arguments.mid(1).join(QLatin1Char(' '));
}
