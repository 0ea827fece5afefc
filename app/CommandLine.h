#pragma once
// The program's command line: one service switch, optionally silent, or the name of a set
// file. Switches are case-insensitive and may have blanks around them; a trailing S makes
// them silent (-is, /US, -IHS). Anything else is a file name, taken whole as received.

#include <QString>
#include <QStringList>

struct StartupCommand {
    enum class Action { None, InstallHidden, Install, Uninstall };
    Action action = Action::None;
    bool silent = false;
    QString fileName; // empty: the default set file
};

StartupCommand parseCommandLine(const QString& commandLine);

// The command line as one text: the arguments after the program name joined by single blanks.
QString commandLineFromArguments(const QStringList& arguments);

// The answer to "--help" or "--version" given alone, which every program of the system
// answers, so no set file can go by those names; empty for a command line the program runs.
QString informationText(const QStringList& arguments);
