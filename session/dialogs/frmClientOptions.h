#pragma once
// The client I/O options of a session, edited in the option exchange block. OK writes the
// choices there; Cancel leaves ClientOptions at -1.

#include "model/Form.h"

#include <array>

class frmClientOptions : public Form {
    Q_OBJECT
public:
    explicit frmClientOptions(QObject* parent = nullptr);

    Frame* Frame1; // "2-Way I/O options:"
    std::array<OptionButton*, 3> Option1;
    CheckBox* chkConnectOnVirtualPort;
    CheckBox* chkComPortControl; // the virtual port's line goes to the remote port
    Button* cmdOK;
    Button* cmdCancel;

    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();
};
