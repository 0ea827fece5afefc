#pragma once
// The fixed folders of the program: where the set file and error log live, where COMn names
// are mapped, and where command sockets and the instance lock go.

#include <QString>

// Makes the folder variables (LUMIVEX_HOME, LUMIVEX_PORTS, XDG_RUNTIME_DIR) absolute against
// the current folder, so that a later change of the current folder cannot move them. Runs
// before the program changes its current folder.
void anchorFolderVariables();

// $LUMIVEX_HOME; else the executable's folder when it keeps its data beside itself and it is
// the user's own, writable by nobody else; else <user config folder>/lumivex, created on demand
// (mode 0700). Absolute, without a trailing slash.
QString dataFolder();

// Why the data folder must not be used, or an empty text when it can. The set file and the
// error log are written there, so it must be a folder of this user's own that nobody else may
// write (it may be reached through a link, as systemd's StateDirectory is).
QString dataFolderProblem();

// Whether a program in this folder keeps its data beside itself: a build folder or a portable
// copy does. An installed program (in the bin folder of a prefix, such as /usr/local/bin)
// never writes into its installation.
bool keepsDataBesideProgram(const QString& programFolder);

// $XDG_CONFIG_HOME when it is absolute (the XDG rules ignore a relative one); else ~/.config.
QString userConfigFolder();

// $HOME when it names a folder of this user's own other than "/"; else empty (a service, or a
// system account without a home).
QString userHomeFolder();

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

// Why a user other than root could change what runs as the program at `path`: the file, or a
// folder it sits in, belongs to another user or may be written by group or others (a folder
// with the sticky bit, such as /tmp, keeps others from replacing root's entries). Empty when
// only root can.
QString rootOnlyProblem(const QString& path);
