#pragma once
// The server I/O options of a session, edited in the option exchange block. OK writes the
// choices there; Cancel leaves AllowMultiConnect at -1.

#include "model/Form.h"

#include <array>

class frmServerOptions : public Form {
    Q_OBJECT
public:
    explicit frmServerOptions(QObject* parent = nullptr);

    CheckBox* chkMultiClients;
    Frame* Frame1; // inbound TCP/IP data
    std::array<OptionButton*, 3> OptionTCP;
    Frame* Frame2; // inbound serial data
    std::array<OptionButton*, 3> OptionSerial;
    CheckBox* chkComPortControl;
    Button* cmdOK;
    Button* cmdCancel;

    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void Form_Load();
};
