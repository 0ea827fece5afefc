#pragma once
// The fixed folders of the program: where the set file and error log live, where COMn names
// are mapped, and where command sockets and the instance lock go.

#include <QString>

// $LUMIVEX_HOME; else the executable's folder when the user can write it; else
// $XDG_CONFIG_HOME/lumivex (~/.config/lumivex), created on demand. Ends without a slash.
QString dataFolder();

// $LUMIVEX_PORTS; else <data folder>/ports. Not created here.
QString portsFolder();

// Creates the ports folder when missing; returns false when it cannot.
bool ensurePortsFolder();

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
