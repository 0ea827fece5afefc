#pragma once
// Sends a command to the window that has its topic: "System" is the main window, any other
// topic the first session window whose connector text it is. Topics match without regard to
// case, as link topic names do.

#include "app/CommandConnection.h"

class frmMain;

CommandReply executeCommand(frmMain& main, const QString& topic, const QString& command);
