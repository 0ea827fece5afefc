#pragma once
// The client login strings of a session, edited in the option exchange block. Its texts are
// its designed English ones. OK sets the login result to 0, Cancel to -1.

#include "model/Form.h"

#include <array>

class frmLogin : public Form {
    Q_OBJECT
public:
    explicit frmLogin(QObject* parent = nullptr);

    std::array<Label*, 4> Labels;
    TextBox* txtUserPrompt;
    TextBox* txtUserPromptResponse;
    TextBox* txtPasswordPrompt;
    TextBox* txtPasswordPromptResponse;
    Button* btnOK;
    Button* btnCancel;

    void btnOK_Click();
    void btnCancel_Click();

private:
    void Form_Load();
};
