#include "model/Controls.h"

#include <algorithm>

Control::Control(ControlKind kind, QString name, int index, QObject* parent)
    : QObject(parent)
    , kind_(kind)
    , name_(std::move(name))
    , index_(index) {}

namespace {
// Assigns and reports whether anything changed.
template <class T> bool assign(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void Control::setTag(const QString& tag) {
    if (assign(tag_, tag))
        emit changed();
}

void Control::setToolTipText(const QString& text) {
    if (assign(toolTip_, text))
        emit changed();
}

void Control::setEnabled(bool on) {
    if (assign(enabled_, on))
        emit changed();
}

void Control::setVisible(bool on) {
    if (assign(visible_, on))
        emit changed();
}

void Control::setFont(const FontSpec& font) {
    if (assign(font_, font))
        emit changed();
}

void CaptionControl::setCaption(const QString& caption) {
    if (!assign(caption_, caption))
        return;
    emit changed();
    emit captionChanged(caption_);
}

bool CheckBox::setValue(int value) {
    if (value < 0 || value > 2)
        return false;
    if (assign(value_, value)) {
        emit changed();
        emit clicked();
    }
    return true;
}

void CheckBox::click() {
    setValue(value_ == 1 ? 0 : 1);
}

void OptionButton::setValueQuietly(bool on) {
    if (assign(value_, on))
        emit changed();
}

void OptionButton::setValue(bool on) {
    if (!on) {
        setValueQuietly(false);
        return;
    }
    for (OptionButton* other : group_) {
        if (other != this)
            other->setValueQuietly(false);
    }
    // An option button raises its click whenever it is turned on, even when it already was.
    setValueQuietly(true);
    emit clicked();
}

void OptionButton::group(const std::vector<OptionButton*>& buttons) {
    for (OptionButton* b : buttons)
        b->group_ = buttons;
}

void MenuEntry::setChecked(bool on) {
    if (assign(checked_, on))
        emit changed();
}

void MenuEntry::setShortcut(const QString& keys) {
    if (assign(shortcut_, keys))
        emit changed();
}

void TextBox::setText(const QString& text) {
    if (assign(text_, text)) {
        emit changed();
        emit textChanged();
    }
}

void TextBox::setMaxLength(int length) {
    if (assign(maxLength_, std::max(0, length)))
        emit changed();
}

void TextBox::setPasswordChar(bool on) {
    if (assign(password_, on))
        emit changed();
}

void ComboBox::addItem(const QString& item) {
    items_.append(item);
    emit changed();
}

void ComboBox::setItems(const QStringList& items) {
    items_ = items;
    listIndex_ = -1;
    emit changed();
}

void ComboBox::clear() {
    items_.clear();
    listIndex_ = -1;
    if (!editable_)
        text_.clear();
    emit changed();
}

bool ComboBox::setListIndex(int i) {
    if (i < -1 || i >= listCount())
        return false;
    listIndex_ = i;
    if (i >= 0 && assign(text_, items_.at(i)))
        emit textChanged();
    emit changed();
    emit clicked();
    return true;
}

void ComboBox::setText(const QString& text) {
    const int match = static_cast<int>(items_.indexOf(text));
    const bool indexChanged = assign(listIndex_, match);
    const bool textChangedNow = assign(text_, text);
    if (indexChanged || textChangedNow)
        emit changed();
    if (textChangedNow)
        emit textChanged();
}

void Shape::setFillColor(Rgb color) {
    if (assign(fill_, color))
        emit changed();
}
