#pragma once
// The password entry dialog: asks for the password before the hidden program shows again or
// ends from the tray. Its texts are its designed English ones.

#include "model/Form.h"

class Form2 : public Form {
    Q_OBJECT
public:
    explicit Form2(QObject* parent = nullptr);

    Label* Label1;
    TextBox* Text1;
    Button* Command1; // OK, the default button
    Button* Command2; // Cancel

    // What OK returned; empty after Cancel (and when the window was closed otherwise).
    QString EnteredPassword;

    void Command1_Click();
    void Command2_Click();
};
