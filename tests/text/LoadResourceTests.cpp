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

class LoadResourceTest : public ::testing::Test {
protected:
    LanguageGuard guard_{"en_US.UTF-8"};
};

TEST_F(LoadResourceTest, WindowTitleComesFromItsTag) {
    DesignedForm form(QStringLiteral("5029"));
    LoadResource(form);
    EXPECT_EQ(form.caption(), QStringLiteral("Lumivex Options"));
    EXPECT_EQ(form.font(), kEnglishFont);
}

TEST_F(LoadResourceTest, WindowWithoutTitleIdKeepsItsTitleButTakesTheFont) {
    for (const char* tag : {"", "0", "abc", "-5029", "5040"}) {
        DesignedForm form(QString::fromLatin1(tag));
        LoadResource(form);
        EXPECT_EQ(form.caption(), QStringLiteral("Designed title")) << tag;
        EXPECT_EQ(form.font(), kEnglishFont) << tag;
    }
}

struct TagCase {
    const char* tag;
    bool loads; // font and caption from the table
    const char* caption;
};

// A label's tag names its caption only when it is a number above 0 that fits a 16-bit id.
const TagCase kLabelTags[] = {
    {"5090", true, "COM Status:"},
    {"5090abc", true, "COM Status:"},
    {" 5090", true, "COM Status:"},
    {"0", false, "designed"},
    {"abc", false, "designed"},
    {"", false, "designed"},
    {"-5090", false, "designed"},
    {"32768", false, "designed"},
    {"70626", false, "designed"}, // would wrap to 5090 if cut to 16 bits
    {"99999999999", false, "designed"},
    {"5040", true, "designed"}, // an id without a text: font set, caption left as it was
};

class LabelTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(LabelTag, DecidesCaptionAndFont) {
    LanguageGuard guard("en_US.UTF-8");
    const TagCase& c = GetParam();
    DesignedForm form;
    Label* label = form.place<Label>(QStringLiteral("Label1"), QString::fromLatin1(c.tag));
    LoadResource(form);
    EXPECT_EQ(label->caption(), QString::fromUtf8(c.caption));
    EXPECT_EQ(label->font(), c.loads ? kEnglishFont : kDesignFont);
}

INSTANTIATE_TEST_SUITE_P(Tags, LabelTag, ::testing::ValuesIn(kLabelTags));

TEST_F(LoadResourceTest, LabelsTakeNoToolTip) {
    DesignedForm form;
    Label* label = form.place<Label>(QStringLiteral("Label1"), QStringLiteral("5041"));
    label->setToolTipText(QStringLiteral("5122"));
    LoadResource(form);
    EXPECT_EQ(label->caption(), QStringLiteral("IP Address:"));
    EXPECT_EQ(label->toolTipText(), QStringLiteral("5122"));
}

TEST_F(LoadResourceTest, MenusTakeTheirTextFromTheirCaptionAndNoFont) {
    DesignedForm form;
    MenuEntry* file = form.menu(QStringLiteral("mnuFile"), QStringLiteral("2102"));
    MenuEntry* separator = form.menu(QStringLiteral("mnuSep"), QStringLiteral("-"));
    MenuEntry* named = form.menu(QStringLiteral("mnuRecent"), QStringLiteral("Recent"));
    MenuEntry* missing = form.menu(QStringLiteral("mnuGap"), QStringLiteral("2115"));
    file->setTag(QStringLiteral("5090")); // a menu's tag plays no part
    LoadResource(form);
    EXPECT_EQ(file->caption(), QStringLiteral("&File"));
    EXPECT_EQ(separator->caption(), QStringLiteral("-"));
    EXPECT_TRUE(separator->isSeparator());
    EXPECT_EQ(named->caption(), QStringLiteral("Recent"));
    EXPECT_EQ(missing->caption(), QStringLiteral("2115"));
    for (const MenuEntry* entry : {file, separator, named, missing})
        EXPECT_EQ(entry->font(), kDesignFont) << entry->name().toStdString();
}

TEST_F(LoadResourceTest, ComboBoxTakesTheFontOnly) {
    DesignedForm form;
    ComboBox* combo = form.place<ComboBox>(QStringLiteral("Combo1"), QString());
    combo->setItems({QStringLiteral("5090"), QStringLiteral("b")});
    combo->setToolTipText(QStringLiteral("5122"));
    LoadResource(form);
    EXPECT_EQ(combo->font(), kEnglishFont);
    EXPECT_EQ(combo->items(), QStringList({QStringLiteral("5090"), QStringLiteral("b")}));
    EXPECT_EQ(combo->toolTipText(), QStringLiteral("5122"));
}

TEST_F(LoadResourceTest, CaptionedControlsTakeCaptionFontAndToolTip) {
    DesignedForm form;
    auto* check = form.place<CheckBox>(QStringLiteral("Check1"), QStringLiteral("5003"));
    auto* button = form.place<Button>(QStringLiteral("Command1"), QStringLiteral("1207"));
    auto* frame = form.place<Frame>(QStringLiteral("Frame1"), QStringLiteral("5043"));
    auto* option = form.place<OptionButton>(QStringLiteral("Option1"), QStringLiteral("5006"));
    check->setToolTipText(QStringLiteral("5123"));
    LoadResource(form);
    EXPECT_EQ(check->caption(), QStringLiteral("Buffer data if TCP/IP port closed"));
    EXPECT_EQ(check->toolTipText(),
              QStringLiteral("Enter the data string that you want to ping the computer with."));
    EXPECT_EQ(button->caption(), QStringLiteral("&OK"));
    EXPECT_EQ(frame->caption(), QStringLiteral("Ping Results:"));
    EXPECT_EQ(option->caption(), QStringLiteral("This PC will act as TCP Client"));
    for (const Control* control : form.controls())
        EXPECT_EQ(control->font(), kEnglishFont) << control->name().toStdString();
}

TEST_F(LoadResourceTest, ToolTipLoadsEvenWhenTheTagNamesNothing) {
    DesignedForm form;
    auto* box = form.place<TextBox>(QStringLiteral("Text1"), QString());
    box->setText(QStringLiteral("typed"));
    box->setToolTipText(QStringLiteral("5122"));
    auto* check = form.place<CheckBox>(QStringLiteral("Check1"), QStringLiteral("abc"));
    check->setToolTipText(QStringLiteral("hint"));
    LoadResource(form);
    EXPECT_EQ(box->toolTipText(),
              QStringLiteral("Enter the IP Address of the computer that you want to ping."));
    EXPECT_EQ(box->text(), QStringLiteral("typed"));
    EXPECT_EQ(box->font(), kDesignFont);
    EXPECT_EQ(check->caption(), kDesigned);
    EXPECT_EQ(check->toolTipText(), QStringLiteral("hint"));
    EXPECT_EQ(check->font(), kDesignFont);
}

TEST_F(LoadResourceTest, ControlsWithoutCaptionTakeTheFontFromATag) {
    DesignedForm form;
    auto* box = form.place<TextBox>(QStringLiteral("Text1"), QStringLiteral("5041"));
    box->setText(QStringLiteral("typed"));
    auto* shape = form.place<Shape>(QStringLiteral("Shape1"), QStringLiteral("5090"));
    LoadResource(form);
    EXPECT_EQ(box->text(), QStringLiteral("typed"));
    EXPECT_EQ(box->font(), kEnglishFont);
    EXPECT_EQ(shape->font(), kEnglishFont);
}

TEST_F(LoadResourceTest, JapaneseWindowUsesTheJapaneseFontEverywhere) {
    LanguageGuard japanese("ja_JP.UTF-8");
    DesignedForm form(QStringLiteral("5019"));
    auto* label = form.place<Label>(QStringLiteral("Label1"), QStringLiteral("5090"));
    auto* check = form.place<CheckBox>(QStringLiteral("chkMultiClients"), QStringLiteral("5020"));
    auto* combo = form.place<ComboBox>(QStringLiteral("Combo1"), QString());
    MenuEntry* file = form.menu(QStringLiteral("mnuFile"), QStringLiteral("2102"));
    LoadResource(form);
    EXPECT_EQ(form.caption(), QStringLiteral("サーバ入出力オプション"));
    EXPECT_EQ(form.font(), kJapaneseFont);
    EXPECT_EQ(label->caption(), QStringLiteral("COMの状態:"));
    EXPECT_EQ(check->caption(), QStringLiteral("複数クライアントの接続を許可"));
    EXPECT_EQ(file->caption(), QStringLiteral("ファイル(&F)"));
    for (const Control* control :
         {static_cast<Control*>(label), static_cast<Control*>(check), static_cast<Control*>(combo)})
        EXPECT_EQ(control->font(), kJapaneseFont) << control->name().toStdString();
}

// Tags keep their ids, so loading again after a change of language shows the new language.
TEST_F(LoadResourceTest, ReloadFollowsALanguageChange) {
    DesignedForm form(QStringLiteral("5013"));
    auto* label = form.place<Label>(QStringLiteral("Label1"), QStringLiteral("5091"));
    LoadResource(form);
    EXPECT_EQ(label->caption(), QStringLiteral("TCP/IP Status:"));
    setLanguageOverride(Language::Japanese);
    LoadResource(form);
    EXPECT_EQ(form.caption(), QStringLiteral("クライアントI/Oオプション"));
    EXPECT_EQ(label->caption(), QStringLiteral("TCP/IPの状態:"));
    EXPECT_EQ(label->font(), kJapaneseFont);
}

} // namespace
