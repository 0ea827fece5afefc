#pragma once
// The application-wide settings kept in the set file's [Lumivex] section and edited in the
// options and password dialogs. Other parts of the program read them where they use them.

#include <QString>

struct GlobalSettings {
    QString OnErrorRunApp;
    QString Password;
    int LogErrors = 0;
    int PingEnabled = 0;
    int PingFrequency = 3; // index into the ping interval list; 3 = 10 seconds
    int PingTimeout = 9;   // index into the time-out list; echo waits 100 * (index + 1) ms
    int PacketSize = 2000;
    int LoadWithWindows = 0; // 1 = start at logon
};

GlobalSettings& globals();
