#pragma once
// Binds a control model to its widget both ways: the widget shows the model's state, and a
// user's action on the widget goes to the model, which raises the window's handler.

class ActivityLight;
class Button;
class CaptionControl;
class CheckBox;
class ComboBox;
class Control;
class Frame;
class Label;
class OptionButton;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;
class Shape;
class TextBox;

void bindLabel(Label* model, QLabel* widget);
void bindButton(Button* model, QPushButton* widget);
void bindCheckBox(CheckBox* model, QCheckBox* widget);
void bindOptionButton(OptionButton* model, QRadioButton* widget);
void bindTextBox(TextBox* model, QLineEdit* widget);
void bindComboBox(ComboBox* model, QComboBox* widget);
void bindFrame(Frame* model, QGroupBox* widget);
void bindShape(Shape* model, ActivityLight* widget);
