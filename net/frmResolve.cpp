#include "net/frmResolve.h"

#include "model/Designed.h"
#include "model/Host.h"
#include "net/PingCode.h"
#include "platform/HostResolve.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

frmResolve::frmResolve(Host& host, QObject* parent)
    : Form(QStringLiteral("frmResolve"), parent)
    , host_(host) {
    setCaption(QStringLiteral("Resolve IP Address"));
    createControls();
    connect(Command1, &Button::clicked, this, &frmResolve::Command1_Click);
    connect(Command3, &Button::clicked, this, &frmResolve::Command3_Click);
    connect(Command4, &Button::clicked, this, &frmResolve::Command4_Click);
    Form_Load();
}

void frmResolve::createControls() {
    const auto caption = [this](auto* control, const char* text, int id) {
        return designed(control, QString::fromLatin1(text), id);
    };
    Label1 =
        caption(add<Label>(QStringLiteral("Label1")), "Resolve IP Address from Host Name:", 5051);
    Label2 = caption(add<Label>(QStringLiteral("Label2")), "Host Name:", 5052);
    txtHostName = add<TextBox>(QStringLiteral("txtHostName"));
    Label3 = caption(add<Label>(QStringLiteral("Label3")), "IP Address:", 5053);
    txtIPAddress = add<TextBox>(QStringLiteral("txtIPAddress"));
    Command1 = caption(add<Button>(QStringLiteral("Command1")), "&Resolve IP Address", 5055);
    Command3 = caption(add<Button>(QStringLiteral("Command3")), "Help...", 5054);
    Command4 = caption(add<Button>(QStringLiteral("Command4")), "Cancel", 5056);
}

void frmResolve::Form_Load() {
    LoadResource(*this);
    txtHostName->setToolTipText(LoadResString(5124));
}

void frmResolve::setBusy(bool busy) {
    busy_ = busy;
    Command1->setEnabled(!busy);
}

void frmResolve::Command1_Click() {
    if (busy_)
        return;
    if (!NetStartup()) {
        host_.messageBox(LoadResString(5114), QString());
        return;
    }
    setBusy(true);
    const QString name = txtHostName->text();
    ResolveHostAddress(name, this, [this, name](const QString& address) {
        showResult(name, address);
        NetCleanup();
        setBusy(false);
        emit resolveFinished();
    });
}

void frmResolve::showResult(const QString& name, const QString& address) {
    if (!address.isEmpty())
        txtIPAddress->setText(address);
    else
        host_.messageBox(LoadResString(5115) + QLatin1Char(' ') + name, QString());
}

void frmResolve::Command4_Click() {
    unload();
}
