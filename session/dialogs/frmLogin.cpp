#include "session/dialogs/frmLogin.h"

#include "model/Designed.h"
#include "session/OptionExchange.h"

frmLogin::frmLogin(QObject* parent)
    : Form(QStringLiteral("frmLogin"), parent) {
    setCaption(QStringLiteral("Client Login Options"));
    const char* const captions[] = {"Username Prompt:", "Username Prompt Response:",
                                    "Password Prompt:", "Password Prompt Response:"};
    std::array<TextBox*, 4> boxes{};
    const char* const names[] = {"txtUserPrompt", "txtUserPromptResponse", "txtPasswordPrompt",
                                 "txtPasswordPromptResponse"};
    for (int i = 0; i < 4; ++i) {
        Labels[i] = designed(addArrayItem<Label>(QStringLiteral("Label1"), i),
                             QString::fromLatin1(captions[i]));
        boxes[i] = add<TextBox>(QString::fromLatin1(names[i]));
    }
    txtUserPrompt = boxes[0];
    txtUserPromptResponse = boxes[1];
    txtPasswordPrompt = boxes[2];
    txtPasswordPromptResponse = boxes[3];
    btnOK = designed(add<Button>(QStringLiteral("btnOK")), QStringLiteral("&OK"));
    btnCancel = designed(add<Button>(QStringLiteral("btnCancel")), QStringLiteral("&Cancel"));
    connect(btnOK, &Button::clicked, this, &frmLogin::btnOK_Click);
    connect(btnCancel, &Button::clicked, this, &frmLogin::btnCancel_Click);
    Form_Load();
}

void frmLogin::Form_Load() {
    const OptionExchangeBlock& block = optionExchange();
    txtUserPrompt->setText(block.UserPrompt);
    txtUserPromptResponse->setText(block.UserPromptResponse);
    txtPasswordPrompt->setText(block.PasswordPrompt);
    txtPasswordPromptResponse->setText(block.PasswordPromptResponse);
}

void frmLogin::btnOK_Click() {
    OptionExchangeBlock& block = optionExchange();
    block.UserPrompt = txtUserPrompt->text();
    block.UserPromptResponse = txtUserPromptResponse->text();
    block.PasswordPrompt = txtPasswordPrompt->text();
    block.PasswordPromptResponse = txtPasswordPromptResponse->text();
    block.LoginResult = 0;
    unload();
}

void frmLogin::btnCancel_Click() {
    optionExchange().LoginResult = -1;
    unload();
}
