#pragma once
// The global options dialog: packet size, error log and program, link monitor pings and the
// start at logon. OK stores the values in the global settings; Cancel changes nothing.

#include "model/Form.h"

class Host;

class frmOptions : public Form {
    Q_OBJECT
public:
    explicit frmOptions(Host& host, QObject* parent = nullptr);

    Frame* Frame1; // "Run external program when errors occur:"
    Label* Label1; // "Command Line:"
    TextBox* Text1;
    Button* Command1; // Browse...
    CheckBox* Check1; // log all errors
    Label* Label2;    // "Max bytes per TCP/IP packet:"
    ComboBox* Combo1; // packet size, editable
    CheckBox* chkLoadWithWindows;
    Frame* Frame2;    // "Ping remote IP Addresses to detect failed connections:"
    CheckBox* Check2; // enable remote pings
    Label* Label3;    // "Ping frequency (secs):"
    ComboBox* Combo2;
    Label* Label4; // "Ping Timeout (ms):"
    ComboBox* Combo3;
    Button* Command2; // OK, the default button
    Button* Command3; // Cancel, the cancel button

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    // The packet size a typed text stands for: its leading number, rounded; 2000 when that is
    // below 1 or above 10000.
    static int packetSizeOf(const QString& text);

private:
    void createControls();
    void Form_Load();

    Host& host_;
};
