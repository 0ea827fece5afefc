#include "gui/ModelDialog.h"

#include "gui/ControlBinding.h"
#include "model/Form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

ModelDialog::ModelDialog(Form& model, QWidget* parent)
    : QDialog(parent) {
    auto refreshTitle = [this, &model] {
        setWindowTitle(model.caption());
    };
    connect(&model, &Form::captionChanged, this, refreshTitle);
    refreshTitle();
}

QLabel* ModelDialog::label(Label* model) {
    auto* widget = new QLabel(this);
    bindLabel(model, widget);
    return widget;
}

QLineEdit* ModelDialog::textBox(TextBox* model) {
    auto* widget = new QLineEdit(this);
    bindTextBox(model, widget);
    return widget;
}

QCheckBox* ModelDialog::checkBox(CheckBox* model) {
    auto* widget = new QCheckBox(this);
    bindCheckBox(model, widget);
    return widget;
}

QRadioButton* ModelDialog::optionButton(OptionButton* model) {
    auto* widget = new QRadioButton(this);
    bindOptionButton(model, widget);
    return widget;
}

QComboBox* ModelDialog::comboBox(ComboBox* model) {
    auto* widget = new QComboBox(this);
    bindComboBox(model, widget);
    return widget;
}

QGroupBox* ModelDialog::frame(Frame* model) {
    auto* widget = new QGroupBox(this);
    bindFrame(model, widget);
    return widget;
}

QPushButton* ModelDialog::button(Button* model) {
    auto* widget = new QPushButton(this);
    bindButton(model, widget);
    // Enter presses only the default button.
    widget->setAutoDefault(false);
    return widget;
}

QBoxLayout* ModelDialog::buttonRow(Button* ok, Button* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* okButton = button(ok);
    okButton->setDefault(true);
    row->addWidget(okButton);
    row->addWidget(button(cancel));
    return row;
}

void ModelDialog::showEvent(QShowEvent* event) {
    // A dialog keeps the size of its contents.
    if (layout())
        layout()->setSizeConstraint(QLayout::SetFixedSize);
    QDialog::showEvent(event);
    // Also when its owner hides in the tray, the dialog gets the keyboard.
    activateWindow();
    raise();
    if (!centreOnScreen_)
        return;
    if (QScreen* screen = this->screen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}
