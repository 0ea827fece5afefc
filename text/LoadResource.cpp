#include "text/LoadResource.h"

#include "model/Form.h"
#include "model/Val.h"
#include "text/StringTable.h"

#include <limits>
#include <optional>

namespace {

constexpr int kFontNameId = 20;
constexpr int kCharsetId = 21;
constexpr int kFontPoints = 8;

// The string id a design text names: its leading number when that is above 0 and fits a
// 16-bit id. Anything else names no text.
std::optional<int> idIn(const QString& text) {
    const int value = ValInt(text);
    if (value <= 0 || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return value;
}

// The text that a design text names, when it names one the table holds.
std::optional<QString> textNamedBy(const QString& designText, Language language) {
    const std::optional<int> id = idIn(designText);
    if (!id)
        return std::nullopt;
    return findResString(*id, language);
}

FontSpec languageFont(FontSpec font, Language language) {
    if (const auto name = findResString(kFontNameId, language))
        font.name = *name;
    if (const auto charset = findResString(kCharsetId, language))
        font.charset = ValInt(*charset);
    font.size = kFontPoints;
    font.bold = false;
    return font;
}

void setCaptionIfAny(Control& control, const QString& caption) {
    if (auto* captioned = qobject_cast<CaptionControl*>(&control))
        captioned->setCaption(caption);
}

// Label, button, frame, check box, option button, text box, shape: the tag names the caption
// (and brings the font); labels take no tool tip.
void loadTagged(Control& control, const FontSpec& font, Language language, bool withToolTip) {
    if (const auto id = idIn(control.tag())) {
        control.setFont(font);
        if (const auto caption = findResString(*id, language))
            setCaptionIfAny(control, *caption);
    }
    if (!withToolTip)
        return;
    if (const auto tip = textNamedBy(control.toolTipText(), language))
        control.setToolTipText(*tip);
}

// A menu entry keeps its id in its caption; a separator ("-") names nothing.
void loadMenu(Control& control, Language language) {
    auto* menu = qobject_cast<CaptionControl*>(&control);
    if (!menu)
        return;
    if (const auto caption = textNamedBy(menu->caption(), language))
        menu->setCaption(*caption);
}

void loadControl(Control& control, const FontSpec& font, Language language) {
    switch (control.kind()) {
    case ControlKind::Label:
        loadTagged(control, font, language, false);
        break;
    case ControlKind::Menu:
        loadMenu(control, language);
        break;
    case ControlKind::ComboBox:
        // Its items are filled by the window's own code.
        control.setFont(font);
        break;
    default:
        loadTagged(control, font, language, true);
        break;
    }
}

} // namespace

void LoadResource(Form& form) {
    // One language for the whole window, even if it changes while loading.
    const Language language = uiLanguage();
    if (const auto title = textNamedBy(form.tag(), language))
        form.setCaption(*title);
    const FontSpec font = languageFont(form.font(), language);
    form.setFont(font);
    for (Control* control : form.controls())
        loadControl(*control, font, language);
}
