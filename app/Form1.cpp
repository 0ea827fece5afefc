#include "app/Form1.h"

#include "model/Designed.h"
#include "model/GlobalSettings.h"
#include "model/Host.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

namespace {
constexpr int kTextMismatch = 5110;
}

Form1::Form1(Host& host, QObject* parent)
    : Form(QStringLiteral("Form1"), parent)
    , host_(host) {
    setCaption(QStringLiteral("Lumivex Password"));
    setTag(QStringLiteral("5010"));
    Label1 =
        designed(add<Label>(QStringLiteral("Label1")), QStringLiteral("Enter Password:"), 5011);
    Text1 = add<TextBox>(QStringLiteral("Text1"));
    Label2 =
        designed(add<Label>(QStringLiteral("Label2")), QStringLiteral("Confirm Password"), 5012);
    Text2 = add<TextBox>(QStringLiteral("Text2"));
    Command1 = designed(add<Button>(QStringLiteral("Command1")), QStringLiteral("OK"), 1207);
    Command2 = designed(add<Button>(QStringLiteral("Command2")), QStringLiteral("Cancel"), 1208);
    for (TextBox* text : {Text1, Text2})
        text->setPasswordChar(true);
    connect(Command1, &Button::clicked, this, &Form1::Command1_Click);
    connect(Command2, &Button::clicked, this, &Form1::Command2_Click);
    Form_Load();
}

void Form1::Form_Load() {
    LoadResource(*this);
    Text1->setText(globals().Password);
    Text2->setText(globals().Password);
}

void Form1::Command1_Click() {
    // Exact comparison: case and blanks count.
    if (Text1->text() != Text2->text()) {
        host_.messageBox(LoadResString(kTextMismatch), QString());
        return;
    }
    // The set file keeps no blanks around a value: such a password would lock the user out
    // after the next start.
    if (Text1->text() != Text1->text().trimmed()) {
        host_.messageBox(QStringLiteral("A password cannot begin or end with a blank. Please "
                                        "re-enter."),
                         QString());
        return;
    }
    globals().Password = Text1->text();
    unload();
}

void Form1::Command2_Click() {
    unload();
}
