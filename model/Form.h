#pragma once
// A window's presentation model: its caption, tag, font and controls, in design order.
// Concrete windows (frmMain, frmDocument, ...) derive from it and add their handlers.

#include "model/Controls.h"

#include <QObject>
#include <QString>
#include <vector>

class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(QString name, QObject* parent = nullptr);

    const QString& name() const { return name_; }
    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);
    // Id of the window's title for the text loader, or empty.
    const QString& tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }
    const FontSpec& font() const { return font_; }
    void setFont(const FontSpec& font) { font_ = font; }

    const std::vector<Control*>& controls() const { return controls_; }
    // The control named name (and index, for control arrays), or nullptr.
    Control* control(const QString& name, int index = -1) const;

    // Ends a modal showing (the host's showModal returns) and tells views to close.
    void unload();
    bool isUnloaded() const { return unloaded_; }

signals:
    void captionChanged();
    void unloaded();

protected:
    // Creates a control owned by this form and records it in design order.
    template <class C, class... Args> C* add(Args&&... args) {
        auto* c = new C(std::forward<Args>(args)..., this);
        controls_.push_back(c);
        return c;
    }
    template <class C> C* addArrayItem(const QString& name, int index) {
        auto* c = new C(name, this, index);
        controls_.push_back(c);
        return c;
    }

private:
    QString name_;
    QString caption_;
    QString tag_;
    FontSpec font_;
    std::vector<Control*> controls_;
    bool unloaded_ = false;
};
