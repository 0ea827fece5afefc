#include "session/dialogs/frmClientOptions.h"

#include "model/Designed.h"
#include "session/OptionExchange.h"
#include "session/dialogs/OptionGroup.h"
#include "text/LoadResource.h"

frmClientOptions::frmClientOptions(QObject* parent)
    : Form(QStringLiteral("frmClientOptions"), parent) {
    setCaption(QStringLiteral("Client I/O Options"));
    setTag(QStringLiteral("5013"));
    Frame1 = designed(add<Frame>(QStringLiteral("Frame1")), QStringLiteral("2-Way I/O"), 5014);
    for (int i = 0; i < 3; ++i)
        Option1[i] = addArrayItem<OptionButton>(QStringLiteral("Option1"), i);
    designOptionGroup(Option1, {5015, 5016, 5017});
    chkConnectOnVirtualPort = designed(add<CheckBox>(QStringLiteral("chkConnectOnVirtualPort")),
                                       QStringLiteral("Open only when open"), 5018);
    chkComPortControl = designed(add<CheckBox>(QStringLiteral("chkComPortControl")),
                                 QStringLiteral("Telnet COM port control (RFC 2217)"), 5125);
    cmdOK = designed(add<Button>(QStringLiteral("cmdOK")), QStringLiteral("&OK"), 1207);
    cmdCancel = designed(add<Button>(QStringLiteral("cmdCancel")), QStringLiteral("Cancel"), 1208);
    connect(cmdOK, &Button::clicked, this, &frmClientOptions::cmdOK_Click);
    connect(cmdCancel, &Button::clicked, this, &frmClientOptions::cmdCancel_Click);
    Form_Load();
}

void frmClientOptions::Form_Load() {
    LoadResource(*this);
    const OptionExchangeBlock& block = optionExchange();
    selectOption(Option1, block.ClientOptions);
    chkConnectOnVirtualPort->setValue(block.ConnectOnVirtualOpen);
    chkComPortControl->setValue(block.ComPortControl != 0 ? 1 : 0);
}

void frmClientOptions::cmdOK_Click() {
    OptionExchangeBlock& block = optionExchange();
    block.ClientOptions = selectedOption(Option1, block.ClientOptions);
    block.ConnectOnVirtualOpen = chkConnectOnVirtualPort->value();
    block.ComPortControl = chkComPortControl->value();
    unload();
}

void frmClientOptions::cmdCancel_Click() {
    optionExchange().ClientOptions = -1;
    unload();
}
