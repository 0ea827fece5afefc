#pragma once
// The fixed folders of the program: where the set file and error log live, where COMn names
// are mapped, and where command sockets and the instance lock go.

#include <QString>

// Makes the folder variables (LUMIVEX_HOME, LUMIVEX_PORTS, XDG_RUNTIME_DIR) absolute against
// the current folder, so that a later change of the current folder cannot move them. Runs
// before the program changes its current folder.
void anchorFolderVariables();

// $LUMIVEX_HOME; else the executable's folder when it keeps its data beside itself and the
// user can write it; else <user config folder>/lumivex, created on demand. Absolute, without a
// trailing slash.
QString dataFolder();

// Whether a program in this folder keeps its data beside itself: a build folder or a portable
// copy does. An installed program (in the bin folder of a prefix, such as /usr/local/bin)
// never writes into its installation.
bool keepsDataBesideProgram(const QString& programFolder);

// $XDG_CONFIG_HOME when it is absolute (the XDG rules ignore a relative one); else ~/.config.
QString userConfigFolder();

// $LUMIVEX_PORTS; else <data folder>/ports. Not created here.
QString portsFolder();

// Creates the ports folder when missing and checks it. Links and markers written there are
// trusted later, so the folder must be a real folder of this user that no one else may write.
// Returns why it is refused, or an empty text when it can be used.
QString preparePortsFolder();

struct RuntimeFolder {
    QString path;  // empty when refused
    QString error; // why it was refused
};

// $XDG_RUNTIME_DIR/lumivex; else /run/lumivex for root, /tmp/lumivex-<uid> for others.
// Created with mode 0700. A folder that exists but belongs to another user, is open to
// group or others, or is not a real folder is refused.
RuntimeFolder runtimeFolder();

// The executable's real path (/proc/self/exe).
QString executablePath();
