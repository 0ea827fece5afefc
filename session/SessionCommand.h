#pragma once
// The commands other programs send to a session window through the command channel:
// "[ACTIVATE]", "[DEACTIVATE]" and "[COMSETTINGS=baud,parity,data bits,stop bits]", and the
// main window's "[APPEXIT]". Parsing is kept apart from the window so that the grammar, with
// all its field-by-field leniency, is checked on its own.

#include <QString>

class frmDocument;

// Upper case, then leading and trailing spaces removed (tabs and other blanks stay).
QString normalizeCommand(const QString& command);

struct SessionCommand {
    enum class Kind { Unknown, Activate, Deactivate, ComSettings };
    Kind kind = Kind::Unknown;
    // For ComSettings: the entry each field selects in its list of the session window
    // (baud rate, parity, data bits, stop bits), or -1 when the field leaves its list as it is.
    int baud = -1;
    int parity = -1;
    int dataBits = -1;
    int stopBits = -1;

    static SessionCommand parse(const QString& command);
};

// The main window's only command.
bool isAppExitCommand(const QString& command);

// Carries out a command on a session window and tells whether it is accepted: "[ACTIVATE]"
// only on an inactive session and "[DEACTIVATE]" only on an active one, both through the
// window's Activate button; "[COMSETTINGS=" always, giving the serial port the settings the
// lists then hold. Anything else is refused and changes nothing.
bool executeSessionCommand(frmDocument& session, const QString& command);
