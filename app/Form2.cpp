#include "app/Form2.h"

#include "model/Designed.h"

Form2::Form2(QObject* parent)
    : Form(QStringLiteral("Form2"), parent) {
    setCaption(QStringLiteral("Lumivex Password"));
    Label1 = designed(add<Label>(QStringLiteral("Label1")), QStringLiteral("Enter Password:"));
    Text1 = add<TextBox>(QStringLiteral("Text1"));
    Text1->setPasswordChar(true);
    Command1 = designed(add<Button>(QStringLiteral("Command1")), QStringLiteral("OK"));
    Command2 = designed(add<Button>(QStringLiteral("Command2")), QStringLiteral("Cancel"));
    connect(Command1, &Button::clicked, this, &Form2::Command1_Click);
    connect(Command2, &Button::clicked, this, &Form2::Command2_Click);
}

void Form2::Command1_Click() {
    EnteredPassword = Text1->text();
    unload();
}

void Form2::Command2_Click() {
    EnteredPassword.clear();
    unload();
}
