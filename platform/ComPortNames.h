#pragma once
// Names of COMn ports on Linux. A COMn name maps to a device through the ports folder:
// <ports folder>/COMn when it exists (a user's symlink, or a virtual port's link), otherwise
// /dev/ttyS<n-1>. Virtual port links made by this program carry a marker file beside them,
// <ports folder>/.COMn.lumivex, so that they are told apart from a user's mapping.

#include <QString>

// Largest COM number accepted (the port number is a 16-bit value).
constexpr int maxComPortNumber = 65535;

// n for "COMn" (case-insensitive, n from 1 to maxComPortNumber), otherwise 0.
int comPortNumber(const QString& name);

// "COMn".
QString comPortName(int n);

// <ports folder>/COMn.
QString comLinkPath(int n);

// <ports folder>/.COMn.lumivex.
QString comMarkerPath(int n);

// n for a marker file name ".COMn.lumivex", otherwise 0.
int comNumberOfMarker(const QString& fileName);

// The device to open for COMn: the link path when something exists there (even a dangling
// link: the user's mapping wins), otherwise /dev/ttyS<n-1>. Resolved anew at every call.
QString comDevicePath(int n);
