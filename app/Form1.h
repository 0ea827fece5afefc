#pragma once
// The set-password dialog: the password typed twice. Two empty fields remove the protection.

#include "model/Form.h"

class Host;

class Form1 : public Form {
    Q_OBJECT
public:
    explicit Form1(Host& host, QObject* parent = nullptr);

    Label* Label1;
    Label* Label2;
    TextBox* Text1;
    TextBox* Text2;
    Button* Command1; // OK
    Button* Command2; // Cancel

    void Command1_Click();
    void Command2_Click();

private:
    void Form_Load();

    Host& host_;
};
