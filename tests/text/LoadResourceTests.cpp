#include "text/LoadResource.h"

#include "model/Form.h"
#include "tests/text/LanguageGuard.h"
#include "text/StringTable.h"

#include <gtest/gtest.h>

namespace {

const FontSpec kDesignFont{QStringLiteral("Designed Face"), 1, 12, true};
const FontSpec kEnglishFont{QStringLiteral("Ms Sans Serif"), 0, 8, false};
const FontSpec kJapaneseFont{QStringLiteral("ＭＳ Ｐゴシック"), 128, 8, false};
const QString kDesigned = QStringLiteral("designed");

// A window as its designer left it: ids in tags, tool tip texts and menu captions.
class DesignedForm : public Form {
public:
    explicit DesignedForm(const QString& tag = QString())
        : Form(QStringLiteral("frmTest")) {
        setTag(tag);
        setCaption(QStringLiteral("Designed title"));
        setFont(kDesignFont);
    }

    template <class C> C* place(const QString& name, const QString& tag) {
        C* control = add<C>(name);
        control->setTag(tag);
        control->setFont(kDesignFont);
        if constexpr (std::is_base_of_v<CaptionControl, C>)
            control->setCaption(kDesigned);
        return control;
    }

    MenuEntry* menu(const QString& name, const QString& caption) {
        MenuEntry* entry = add<MenuEntry>(name);
        entry->setCaption(caption);
        entry->setFont(kDesignFont);
        return entry;
    }
};

// A tag names a text only when it is a number above 0 that fits a 16-bit id; the language's
// font comes with any id, even one without a text.
TEST(LoadResource, TagsDecideCaptionAndFont) {
    const LanguageGuard guard("en_US.UTF-8");
    const struct {
        const char* tag;
        bool loads;
        int caption; // 0: the designed caption stays
    } rows[] = {{"5090", true, 5090}, {"5090abc", true, 5090}, {"0", false, 0},
                {"abc", false, 0},    {"-5090", false, 0},     {"32768", false, 0},
                {"70626", false, 0}, // not wrapped to 5090
                {"5040", true, 0}};
    for (const auto& row : rows) {
        DesignedForm form(QString::fromLatin1(row.tag));
        Label* label = form.place<Label>(QStringLiteral("Label1"), QString::fromLatin1(row.tag));
        LoadResource(form);
        SCOPED_TRACE(row.tag);
        EXPECT_EQ(label->caption(), row.caption ? LoadResString(row.caption) : kDesigned);
        EXPECT_EQ(label->font(), row.loads ? kEnglishFont : kDesignFont);
        EXPECT_EQ(form.caption(), row.caption ? LoadResString(row.caption) : "Designed title");
        EXPECT_EQ(form.font(), kEnglishFont); // the window takes the font whatever its tag
    }
}

TEST(LoadResource, EachKindOfControlTakesWhatItHasInEitherLanguage) {
    const LanguageGuard guard("en_US.UTF-8");
    DesignedForm form;
    auto* label = form.place<Label>(QStringLiteral("Label1"), QStringLiteral("5041"));
    label->setToolTipText(QStringLiteral("5122")); // labels take no tool tip
    auto* check = form.place<CheckBox>(QStringLiteral("Check1"), QStringLiteral("5003"));
    check->setToolTipText(QStringLiteral("5123"));
    auto* box = form.place<TextBox>(QStringLiteral("Text1"), QString());
    box->setText(QStringLiteral("typed"));
    box->setToolTipText(QStringLiteral("5122")); // a tool tip loads without a tag
    auto* combo = form.place<ComboBox>(QStringLiteral("Combo1"), QStringLiteral("5041"));
    combo->setItems({QStringLiteral("5090"), QStringLiteral("b")});
    MenuEntry* file = form.menu(QStringLiteral("mnuFile"), QStringLiteral("2102"));
    file->setTag(QStringLiteral("5090")); // a menu's tag plays no part
    MenuEntry* separator = form.menu(QStringLiteral("mnuSep"), QStringLiteral("-"));
    MenuEntry* gap = form.menu(QStringLiteral("mnuGap"), QStringLiteral("2115"));
    LoadResource(form);

    EXPECT_EQ(QStringList({label->caption(), label->toolTipText(), check->caption(),
                           check->toolTipText(), box->toolTipText(), box->text()}),
              QStringList({LoadResString(5041), QStringLiteral("5122"), LoadResString(5003),
                           LoadResString(5123), LoadResString(5122), QStringLiteral("typed")}));
    EXPECT_EQ(box->font(), kDesignFont);
    EXPECT_EQ(combo->items(), QStringList({QStringLiteral("5090"), QStringLiteral("b")}));
    EXPECT_EQ(combo->font(), kEnglishFont);
    EXPECT_EQ(file->caption(), LoadResString(2102));
    EXPECT_TRUE(separator->isSeparator());
    EXPECT_EQ(gap->caption(), QStringLiteral("2115")); // no text: left as it was
    for (const MenuEntry* entry : {file, separator, gap})
        EXPECT_EQ(entry->font(), kDesignFont) << entry->name().toStdString();

    // Tags keep their ids, so loading again after a change of language shows the new language.
    setLanguageOverride(Language::Japanese);
    LoadResource(form);
    EXPECT_EQ(label->caption(), LoadResString(5041, Language::Japanese));
    for (const FontSpec& font : {form.font(), label->font(), combo->font()})
        EXPECT_EQ(font, kJapaneseFont);
}

} // namespace
