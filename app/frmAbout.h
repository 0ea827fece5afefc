#pragma once
// The about box: product name, version, a notice, a link to the maker's web page, and a
// button that starts the desktop's system information tool when one is installed.

#include "model/Form.h"

class Host;

class frmAbout : public Form {
    Q_OBJECT
public:
    explicit frmAbout(Host& host, QObject* parent = nullptr);

    Label* lblTitle;
    Label* lblDescription;
    Label* lblVersion;
    Label* lblDisclaimer;
    Label* lblLink; // the maker's web page; a click opens it
    Button* cmdOK;
    Button* cmdSysInfo; // disabled when no system information tool is installed

    void lblLink_Click();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // The first system information tool found on PATH, or empty.
    static QString systemInfoTool();
    // The address the link and the Help menu's web page entry open.
    static QString webPage();

private:
    void Form_Load();

    Host& host_;
};
