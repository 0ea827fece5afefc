#include "gui/ControlBinding.h"

#include "gui/ActivityLight.h"
#include "model/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace {

// Enabled, visible and tool tip follow the model.
void bindCommon(Control* model, QWidget* widget) {
    auto refresh = [model, widget] {
        widget->setEnabled(model->enabled());
        widget->setVisible(model->visible());
        widget->setToolTip(model->toolTipText());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
}

// Forwards a double click on a widget to a callback.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> onDoubleClick)
        : QObject(parent)
        , onDoubleClick_(std::move(onDoubleClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonDblClick)
            onDoubleClick_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onDoubleClick_;
};

void bindCaption(CaptionControl* model, QAbstractButton* widget) {
    auto refresh = [model, widget] {
        widget->setText(model->caption());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
}

} // namespace

void bindLabel(Label* model, QLabel* widget) {
    bindCommon(model, widget);
    auto refresh = [model, widget] {
        widget->setText(model->caption());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    widget->installEventFilter(new DoubleClickFilter(widget, [model] { model->dblClick(); }));
}

void bindButton(Button* model, QPushButton* widget) {
    bindCommon(model, widget);
    bindCaption(model, widget);
    QObject::connect(widget, &QPushButton::clicked, model, [model] { model->click(); });
}

void bindCheckBox(CheckBox* model, QCheckBox* widget) {
    bindCommon(model, widget);
    bindCaption(model, widget);
    auto refresh = [model, widget] {
        const QSignalBlocker block(widget);
        widget->setCheckState(model->value() == 1   ? Qt::Checked
                              : model->value() == 2 ? Qt::PartiallyChecked
                                                    : Qt::Unchecked);
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    QObject::connect(widget, &QCheckBox::clicked, model,
                     [model](bool checked) { model->setValue(checked ? 1 : 0); });
}

void bindOptionButton(OptionButton* model, QRadioButton* widget) {
    bindCommon(model, widget);
    bindCaption(model, widget);
    // The model keeps the group exclusive; the widgets just mirror it.
    widget->setAutoExclusive(false);
    auto refresh = [model, widget] {
        const QSignalBlocker block(widget);
        widget->setChecked(model->value());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    QObject::connect(widget, &QRadioButton::clicked, model, [model, widget] {
        model->setValue(true);
        const QSignalBlocker block(widget);
        widget->setChecked(model->value());
    });
}

void bindTextBox(TextBox* model, QLineEdit* widget) {
    bindCommon(model, widget);
    auto refresh = [model, widget] {
        widget->setMaxLength(model->maxLength() > 0 ? model->maxLength() : 32767);
        widget->setEchoMode(model->passwordChar() ? QLineEdit::Password : QLineEdit::Normal);
        if (widget->text() != model->text()) {
            const QSignalBlocker block(widget);
            widget->setText(model->text());
        }
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    QObject::connect(widget, &QLineEdit::textEdited, model,
                     [model](const QString& text) { model->setText(text); });
}

void bindComboBox(ComboBox* model, QComboBox* widget) {
    bindCommon(model, widget);
    widget->setEditable(model->editable());
    auto refresh = [model, widget] {
        const QSignalBlocker block(widget);
        QStringList shown;
        for (int i = 0; i < widget->count(); ++i)
            shown << widget->itemText(i);
        if (shown != model->items()) {
            widget->clear();
            widget->addItems(model->items());
        }
        widget->setCurrentIndex(model->listIndex());
        if (model->editable() && widget->currentText() != model->text())
            widget->setEditText(model->text());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    QObject::connect(widget, &QComboBox::activated, model,
                     [model](int index) { model->setListIndex(index); });
    if (model->editable()) {
        QObject::connect(widget, &QComboBox::editTextChanged, model,
                         [model](const QString& text) { model->setText(text); });
    }
}

void bindFrame(Frame* model, QGroupBox* widget) {
    bindCommon(model, widget);
    auto refresh = [model, widget] {
        widget->setTitle(model->caption());
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
    widget->installEventFilter(new DoubleClickFilter(widget, [model] { model->dblClick(); }));
}

void bindShape(Shape* model, ActivityLight* widget) {
    bindCommon(model, widget);
    auto refresh = [model, widget] {
        widget->setColor(QColor::fromRgb(model->fillColor()));
    };
    QObject::connect(model, &Control::changed, widget, refresh);
    refresh();
}
