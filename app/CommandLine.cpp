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

QString informationText(const QStringList& arguments) {
    if (arguments.size() != 2)
        return {};
    if (arguments[1] == QLatin1String("--version"))
        return QStringLiteral("lumivex " LUMIVEX_VERSION "\n");
    if (arguments[1] != QLatin1String("--help"))
        return {};
    return QStringLiteral(
        "Usage: lumivex [SET FILE]\n"
        "       lumivex -i | -ih | -u   (add s for no message on success: -is)\n"
        "Runs the sessions of SET FILE (default: default.lvx in the data folder), in a window\n"
        "when there is a display, headless otherwise.\n"
        "  -i    install the systemd service lumivex.service and enable it\n"
        "  -ih   install it without waiting for the network at boot\n"
        "  -u    remove it\n"
        "lumivex-dde TOPIC COMMAND drives a running Lumivex. See man lumivex.\n");
}
