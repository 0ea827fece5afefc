#pragma once
// Gives a control of a window's design its designed caption and, when the string table holds
// its text, the id of that text in its tag (the text loader replaces the caption from it).

#include <QString>

template <class C> C* designed(C* control, const QString& caption, int textId = 0) {
    control->setCaption(caption);
    if (textId > 0)
        control->setTag(QString::number(textId));
    return control;
}
