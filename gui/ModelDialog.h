#pragma once
// The base of the dialog views: a QDialog titled by its window model, with helpers that bind
// the model's controls to new widgets. A view only lays out; all behaviour is the model's.

#include <QDialog>

class Button;
class CheckBox;
class ComboBox;
class Form;
class Frame;
class Label;
class OptionButton;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TextBox;

class ModelDialog : public QDialog {
    Q_OBJECT
public:
    ModelDialog(Form& model, QWidget* parent);

    QLabel* label(Label* model);
    QLineEdit* textBox(TextBox* model);
    QCheckBox* checkBox(CheckBox* model);
    QRadioButton* optionButton(OptionButton* model);
    QComboBox* comboBox(ComboBox* model);
    QGroupBox* frame(Frame* model);
    QPushButton* button(Button* model);
    // OK and Cancel at the bottom right, OK the default button.
    QBoxLayout* buttonRow(Button* ok, Button* cancel);

    // The dialog opens in the middle of the screen rather than over its owner.
    void centreOnScreen() { centreOnScreen_ = true; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool centreOnScreen_ = false;
};
