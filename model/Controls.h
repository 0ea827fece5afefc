#pragma once
// Control models: the state of one window control without any widget. A view binds a widget
// to a control both ways; code that sets a property raises the same event as a user's change
// (a list index raises clicked(), a check value raises clicked(), a text raises textChanged()).

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

// The font a window gives its texts (name and character set come from the string table).
struct FontSpec {
    QString name;
    int charset = 0;
    int size = 8;
    bool bold = false;
    bool operator==(const FontSpec&) const = default;
};

enum class ControlKind {
    Label,
    Button,
    CheckBox,
    OptionButton,
    TextBox,
    ComboBox,
    Frame,
    Menu,
    Shape
};

class Control : public QObject {
    Q_OBJECT
public:
    // index is the control's place in a control array (Combo1(3) has index 3), -1 when alone.
    Control(ControlKind kind, QString name, int index, QObject* parent);

    ControlKind kind() const { return kind_; }
    const QString& name() const { return name_; }
    int index() const { return index_; }

    const QString& tag() const { return tag_; }
    void setTag(const QString& tag);
    const QString& toolTipText() const { return toolTip_; }
    void setToolTipText(const QString& text);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool visible() const { return visible_; }
    void setVisible(bool on);
    const FontSpec& font() const { return font_; }
    void setFont(const FontSpec& font);

signals:
    // Any property changed; views refresh from the model.
    void changed();

private:
    ControlKind kind_;
    QString name_;
    int index_;
    QString tag_;
    QString toolTip_;
    bool enabled_ = true;
    bool visible_ = true;
    FontSpec font_;
};

// A control that shows a caption: label, button, check box, option button, frame, menu entry.
class CaptionControl : public Control {
    Q_OBJECT
public:
    using Control::Control;
    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);

signals:
    void clicked();
    void dblClicked();
    // The caption became a different text (from code or from the text loader).
    void captionChanged(const QString& caption);

public slots:
    // A user's click or double click; also callable from code.
    virtual void click() { emit clicked(); }
    void dblClick() { emit dblClicked(); }

private:
    QString caption_;
};

class Label : public CaptionControl {
    Q_OBJECT
public:
    Label(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::Label, std::move(name), index, parent) {}
};

class Button : public CaptionControl {
    Q_OBJECT
public:
    Button(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::Button, std::move(name), index, parent) {}
};

class Frame : public CaptionControl {
    Q_OBJECT
public:
    Frame(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::Frame, std::move(name), index, parent) {}
};

// Check box: value 0 unchecked, 1 checked, 2 greyed. Setting a new value raises clicked().
class CheckBox : public CaptionControl {
    Q_OBJECT
public:
    CheckBox(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::CheckBox, std::move(name), index, parent) {}
    int value() const { return value_; }
    // Refuses values other than 0, 1 and 2; returns whether the value was taken.
    bool setValue(int value);
    void click() override;

private:
    int value_ = 0;
};

// Option button: one of a group of which at most one is on. Turning one on turns the others
// of its group off and raises clicked() on the one turned on.
class OptionButton : public CaptionControl {
    Q_OBJECT
public:
    OptionButton(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::OptionButton, std::move(name), index, parent) {}
    bool value() const { return value_; }
    void setValue(bool on);
    void click() override { setValue(true); }
    // Makes the buttons one group (all of them share the list).
    static void group(const std::vector<OptionButton*>& buttons);

private:
    void setValueQuietly(bool on);
    bool value_ = false;
    std::vector<OptionButton*> group_;
};

class MenuEntry : public CaptionControl {
    Q_OBJECT
public:
    MenuEntry(QString name, QObject* parent, int index = -1)
        : CaptionControl(ControlKind::Menu, std::move(name), index, parent) {}
    bool checked() const { return checked_; }
    void setChecked(bool on);
    const QString& shortcut() const { return shortcut_; }
    void setShortcut(const QString& keys);
    bool isSeparator() const { return caption() == QLatin1String("-"); }

private:
    bool checked_ = false;
    QString shortcut_;
};

// Text box. maxLength limits what a user can type (0 = no limit); code may set any text.
class TextBox : public Control {
    Q_OBJECT
public:
    TextBox(QString name, QObject* parent, int index = -1)
        : Control(ControlKind::TextBox, std::move(name), index, parent) {}
    const QString& text() const { return text_; }
    void setText(const QString& text);
    int maxLength() const { return maxLength_; }
    void setMaxLength(int length);
    bool passwordChar() const { return password_; }
    void setPasswordChar(bool on);

signals:
    void textChanged();

private:
    QString text_;
    int maxLength_ = 0;
    bool password_ = false;
};

// Combo box or list: items, the selected index (-1 = none) and, for an editable combo box,
// a text that may differ from every item. An index outside the list is refused.
class ComboBox : public Control {
    Q_OBJECT
public:
    ComboBox(QString name, QObject* parent, int index = -1)
        : Control(ControlKind::ComboBox, std::move(name), index, parent) {}

    void addItem(const QString& item);
    void setItems(const QStringList& items);
    void clear();
    const QStringList& items() const { return items_; }
    int listCount() const { return static_cast<int>(items_.size()); }
    QString list(int i) const { return items_.value(i); }

    int listIndex() const { return listIndex_; }
    // Selects item i (or nothing for -1), takes its text and raises clicked(). Returns false,
    // changing nothing, when i is outside -1..listCount()-1.
    bool setListIndex(int i);

    const QString& text() const { return text_; }
    // The typed text of an editable combo box; selects the item that equals it, if any.
    void setText(const QString& text);
    bool editable() const { return editable_; }
    void setEditable(bool on) { editable_ = on; }

signals:
    void clicked();
    void textChanged();
    void dblClicked();

private:
    QStringList items_;
    int listIndex_ = -1;
    QString text_;
    bool editable_ = false;
};

// A colour as 0xRRGGBB; the core does not link QtGui.
using Rgb = quint32;
constexpr Rgb kGreen = 0x00FF00;
constexpr Rgb kRed = 0xFF0000;

// A filled shape, used as an activity light.
class Shape : public Control {
    Q_OBJECT
public:
    Shape(QString name, QObject* parent, int index = -1)
        : Control(ControlKind::Shape, std::move(name), index, parent) {}
    Rgb fillColor() const { return fill_; }
    void setFillColor(Rgb color);

private:
    Rgb fill_ = kGreen;
};
