#include "model/Form.h"

Form::Form(QString name, QObject* parent)
    : QObject(parent)
    , name_(std::move(name)) {}

void Form::setCaption(const QString& caption) {
    if (caption_ == caption)
        return;
    caption_ = caption;
    emit captionChanged();
}

Control* Form::control(const QString& name, int index) const {
    for (Control* c : controls_) {
        if (c->index() == index && c->name().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return nullptr;
}

void Form::unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    emit unloaded();
}
