// The language choice, the string table and the loading of a window's texts.
#include "model/Form.h"
#include "tests/support/TestSupport.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// No override, and LC_ALL, LC_MESSAGES and LANG as given (empty counts as unset).
struct LanguageGuard {
    explicit LanguageGuard(const char* lang, const char* lcMessages = "", const char* lcAll = "")
        : env{{"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}} {
        setLanguageOverride(std::nullopt);
    }
    ~LanguageGuard() { setLanguageOverride(std::nullopt); }
    ScopedEnv env[3];
};

// LC_ALL before LC_MESSAGES before LANG; the first non-empty one decides, unless overridden.
TEST(LanguageChoice, FollowsTheFirstNonEmptyLocaleVariableOrTheOverride) {
    const auto en = Language::English, ja = Language::Japanese;
    // clang-format off
    const std::tuple<const char*, const char*, const char*, Language> rows[] = {
        {"", "", "", en}, {"", "", "ja", ja}, {"", "", "japanese", ja}, {"", "", "jam_JM.UTF-8", en},
        {"", "ja_JP.UTF-8", "en_US.UTF-8", ja}, {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", en},
        {"ja_JP.SJIS", "en_GB.UTF-8", "en_GB.UTF-8", ja}};
    // clang-format on
    for (const auto& [lcAll, lcMessages, lang, expected] : rows) {
        SCOPED_TRACE(std::string(lcAll) + "|" + lcMessages + "|" + lang);
        LanguageGuard guard(lang, lcMessages, lcAll);
        EXPECT_EQ(std::pair(languageFromEnvironment(), uiLanguage()),
                  std::pair(expected, expected));
    }
    // The override beats the environment until cleared; each fetch follows the language of then.
    LanguageGuard guard("ja_JP.UTF-8");
    QStringList fetched{LoadResString(5100)};
    setLanguageOverride(en);
    fetched << LoadResString(5100);
    setLanguageOverride(std::nullopt);
    fetched << LoadResString(5100);
    EXPECT_EQ(fetched, QStringList({"閉じています", "Closed", "閉じています"}));
}

// Every id has text in both languages, and an id below the first, between two or beyond the
// last gives none. A "&" marks the next character as the accelerator; one before ")" or at the
// end marks nothing, and "&&" is a literal ampersand.
TEST(StringTable, EveryIdHasTextAndNoAcceleratorMarkerDangles) {
    ASSERT_FALSE(stringIds().isEmpty());
    const QRegularExpression dangling(QStringLiteral("&(?![\\w])"),
                                      QRegularExpression::UseUnicodePropertiesOption);
    for (const int id : stringIds()) {
        for (const Language language : {Language::English, Language::Japanese}) {
            const QString text = LoadResString(id, language);
            EXPECT_TRUE(!text.isEmpty() && !QString(text).remove("&&").contains(dangling))
                << id << ": " << text.toStdString();
        }
    }
    for (const int id : {0, 5040, 100000})
        EXPECT_TRUE(LoadResString(id).isEmpty() && !findResString(id, Language::English)) << id;
}

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
        setCaption(kDesigned);
        setFont(kDesignFont);
    }
    template <class C> C* place(const QString& tag, const QString& caption = kDesigned) {
        C* control = add<C>(QStringLiteral("Control%1").arg(controls().size()));
        control->setTag(tag);
        control->setFont(kDesignFont);
        if constexpr (std::is_base_of_v<CaptionControl, C>)
            control->setCaption(caption);
        return control;
    }
};

// A tag names a text only when it is a number above 0 that fits a 16-bit id; the language's
// font comes with any id, even one without a text.
TEST(LoadResource, TagsDecideCaptionAndFont) {
    const LanguageGuard guard("en_US.UTF-8");
    // tag, font loads, caption id (0: the designed caption stays)
    const std::tuple<const char*, bool, int> rows[] = {
        {"5090abc", true, 5090}, {"0", false, 0},     {"-5090", false, 0},
        {"32768", false, 0},     {"70626", false, 0}, {"5040", true, 0}}; // 70626: no wrap to 5090
    for (const auto& [tag, loads, id] : rows) {
        SCOPED_TRACE(tag);
        DesignedForm form(QString::fromLatin1(tag));
        Label* label = form.place<Label>(QString::fromLatin1(tag));
        LoadResource(form);
        const QString caption = id ? LoadResString(id) : kDesigned;
        EXPECT_EQ(std::tuple(label->caption(), form.caption(), label->font(), form.font()),
                  std::tuple(caption, caption, loads ? kEnglishFont : kDesignFont, kEnglishFont));
    }
}

TEST(LoadResource, EachKindOfControlTakesWhatItHasInEitherLanguage) {
    const LanguageGuard guard("en_US.UTF-8");
    DesignedForm form;
    auto* label = form.place<Label>(QStringLiteral("5041"));
    label->setToolTipText(QStringLiteral("5122")); // labels take no tool tip
    auto* check = form.place<CheckBox>(QStringLiteral("5003"));
    check->setToolTipText(QStringLiteral("5123"));
    auto* box = form.place<TextBox>(QString());
    box->setText(QStringLiteral("typed"));
    box->setToolTipText(QStringLiteral("5122")); // a tool tip loads without a tag
    auto* combo = form.place<ComboBox>(QStringLiteral("5041"));
    combo->setItems({QStringLiteral("5090"), QStringLiteral("b")});
    // A menu's tag plays no part; a caption without a text is left as it was.
    auto* file = form.place<MenuEntry>(QStringLiteral("5090"), QStringLiteral("2102"));
    auto* separator = form.place<MenuEntry>(QString(), QStringLiteral("-"));
    auto* gap = form.place<MenuEntry>(QString(), QStringLiteral("2115"));
    LoadResource(form);

    EXPECT_EQ(
        QStringList({label->caption(), label->toolTipText(), check->caption(), check->toolTipText(),
                     box->toolTipText(), box->text(), file->caption(), gap->caption(),
                     separator->caption(), combo->items().join(',')}),
        QStringList({LoadResString(5041), "5122", LoadResString(5003), LoadResString(5123),
                     LoadResString(5122), "typed", LoadResString(2102), "2115", "-", "5090,b"}));
    for (const Control* control : std::initializer_list<Control*>{box, file, separator, gap})
        EXPECT_EQ(control->font(), kDesignFont) << control->name().toStdString();

    // Tags keep their ids, so loading again after a change of language shows the new language.
    setLanguageOverride(Language::Japanese);
    LoadResource(form);
    EXPECT_EQ(label->caption(), LoadResString(5041, Language::Japanese));
    for (const FontSpec& font : {form.font(), label->font(), combo->font()})
        EXPECT_EQ(font, kJapaneseFont);
}

} // namespace
