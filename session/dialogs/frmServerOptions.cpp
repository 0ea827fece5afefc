#include "session/dialogs/frmServerOptions.h"

#include "model/Designed.h"
#include "session/OptionExchange.h"
#include "session/dialogs/OptionGroup.h"
#include "text/LoadResource.h"

frmServerOptions::frmServerOptions(QObject* parent)
    : Form(QStringLiteral("frmServerOptions"), parent) {
    setCaption(QStringLiteral("Server I/O Options"));
    setTag(QStringLiteral("5019"));
    chkMultiClients = designed(add<CheckBox>(QStringLiteral("chkMultiClients")),
                               QStringLiteral("Allow multiple client connections"), 5020);
    Frame1 = designed(add<Frame>(QStringLiteral("Frame1")), QStringLiteral("Inbound TCP/IP"), 5021);
    for (int i = 0; i < 3; ++i)
        OptionTCP[i] = addArrayItem<OptionButton>(QStringLiteral("OptionTCP"), i);
    designOptionGroup(OptionTCP, {5022, 5023, 5024});
    Frame2 = designed(add<Frame>(QStringLiteral("Frame2")), QStringLiteral("Inbound serial"), 5025);
    for (int i = 0; i < 3; ++i)
        OptionSerial[i] = addArrayItem<OptionButton>(QStringLiteral("OptionSerial"), i);
    designOptionGroup(OptionSerial, {5026, 5027, 5028});
    chkComPortControl = designed(add<CheckBox>(QStringLiteral("chkComPortControl")),
                                 QStringLiteral("Telnet COM port control (RFC 2217)"), 5125);
    cmdOK = designed(add<Button>(QStringLiteral("cmdOK")), QStringLiteral("&OK"), 1207);
    cmdCancel = designed(add<Button>(QStringLiteral("cmdCancel")), QStringLiteral("Cancel"), 1208);
    connect(cmdOK, &Button::clicked, this, &frmServerOptions::cmdOK_Click);
    connect(cmdCancel, &Button::clicked, this, &frmServerOptions::cmdCancel_Click);
    Form_Load();
}

void frmServerOptions::Form_Load() {
    LoadResource(*this);
    const OptionExchangeBlock& block = optionExchange();
    chkMultiClients->setValue(block.AllowMultiConnect);
    selectOption(OptionSerial, block.ServerSerialOptions);
    selectOption(OptionTCP, block.ServerTCPOptions);
    chkComPortControl->setValue(block.ComPortControl != 0 ? 1 : 0);
}

void frmServerOptions::cmdOK_Click() {
    OptionExchangeBlock& block = optionExchange();
    block.AllowMultiConnect = chkMultiClients->value();
    block.ServerTCPOptions = selectedOption(OptionTCP, block.ServerTCPOptions);
    block.ServerSerialOptions = selectedOption(OptionSerial, block.ServerSerialOptions);
    block.ComPortControl = chkComPortControl->value();
    unload();
}

void frmServerOptions::cmdCancel_Click() {
    optionExchange().AllowMultiConnect = -1;
    unload();
}
