#pragma once
// Starting the program when a user logs on to the desktop: an XDG autostart entry.

#include <QByteArray>
#include <QString>

// Adds (Enable) or removes the autostart entry `<ValueName>.desktop`, whose Exec line starts
// `ProgramPath`. CurrentUser: the entry is the user's own ($XDG_CONFIG_HOME/autostart, by
// default ~/.config/autostart); otherwise it is for every user (<system folder>/autostart,
// the system folder being /etc/xdg unless `systemConfigFolder` names another). EveryLogon
// has no counterpart: an autostart entry runs at every logon, and the program renews or
// removes it at every save, so both values give the same entry.
// A user without a home folder has no entry of their own: Enable fails, Disable has nothing
// to do. Enable: true when the entry was written. Disable: true when no entry is left (a missing
// entry is no error); false only when an entry exists and cannot be removed.
bool SetAutoStart(bool Enable, const QString& ValueName, const QString& ProgramPath,
                  bool CurrentUser, bool EveryLogon, const QString& systemConfigFolder = {});

// The entry's text for a program path, quoted and escaped for a desktop entry's Exec key.
QByteArray autoStartEntry(const QString& ProgramPath);
