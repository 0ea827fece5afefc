#pragma once
// The Resolve window: turns a host name into an IPv4 address. The look-up runs in the
// background; the Resolve button is off until it has ended.

#include "model/Form.h"

class Host;

class frmResolve : public Form {
    Q_OBJECT
public:
    explicit frmResolve(Host& host, QObject* parent = nullptr);

    Label* Label1; // "Resolve IP Address from Host Name:"
    Label* Label2; // "Host Name:"
    TextBox* txtHostName;
    Label* Label3; // "IP Address:"
    TextBox* txtIPAddress;
    Button* Command1; // Resolve IP Address
    Button* Command3; // Help...
    Button* Command4; // Cancel

    void Command1_Click();
    void Command3_Click() {} // help has no action
    void Command4_Click();

    bool busy() const { return busy_; }

signals:
    // A look-up has ended and its result is shown.
    void resolveFinished();

private:
    void createControls();
    void Form_Load();
    void showResult(const QString& name, const QString& address);
    void setBusy(bool busy);

    Host& host_;
    bool busy_ = false;
};
