#include "text/StringTable.h"

#include "tests/text/LanguageGuard.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// LC_ALL before LC_MESSAGES before LANG; the first non-empty one decides.
TEST(LanguageChoice, FollowsTheFirstNonEmptyLocaleVariable) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    } rows[] = {
        {"", "", "", Language::English},
        {"", "", "ja", Language::Japanese},
        {"", "", "japanese", Language::Japanese},
        {"", "", "jam_JM.UTF-8", Language::English}, // Jamaican Creole is not Japanese
        {"", "ja_JP.UTF-8", "en_US.UTF-8", Language::Japanese},
        {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::English},
        {"ja_JP.SJIS", "en_GB.UTF-8", "en_GB.UTF-8", Language::Japanese},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.lcAll) + "|" + row.lcMessages + "|" + row.lang);
        LanguageGuard guard(row.lang, row.lcMessages, row.lcAll);
        EXPECT_EQ(languageFromEnvironment(), row.expected);
        EXPECT_EQ(uiLanguage(), row.expected);
    }
    LanguageGuard guard("ja_JP.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8");
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        qunsetenv(name);
    EXPECT_EQ(uiLanguage(), Language::English);
}

// The override beats the environment until cleared, and texts composed at run time follow a
// change of language at their next fetch.
TEST(StringTable, LanguageChangeShowsAtTheNextFetch) {
    LanguageGuard guard("en_US.UTF-8");
    EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
    {
        ScopedEnv japanese("LANG", "ja_JP.UTF-8");
        EXPECT_EQ(LoadResString(5100), QStringLiteral("閉じています"));
        setLanguageOverride(Language::English);
        EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
        setLanguageOverride(std::nullopt);
        EXPECT_EQ(LoadResString(5100), QStringLiteral("閉じています"));
    }
    EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
    setLanguageOverride(Language::Japanese);
    EXPECT_EQ(LoadResString(5100), QStringLiteral("閉じています"));
}

// Every id has text in both languages. A "&" marks the next character as the accelerator;
// one before ")" or at the end marks nothing, and "&&" is a literal ampersand.
TEST(StringTable, EveryIdHasTextAndNoAcceleratorMarkerDangles) {
    ASSERT_FALSE(stringIds().isEmpty());
    const QRegularExpression dangling(QStringLiteral("&(?![\\w])"),
                                      QRegularExpression::UseUnicodePropertiesOption);
    for (const int id : stringIds()) {
        for (const Language language : {Language::English, Language::Japanese}) {
            const QString text = LoadResString(id, language);
            EXPECT_FALSE(text.isEmpty()) << id;
            EXPECT_FALSE(QString(text).remove(QStringLiteral("&&")).contains(dangling))
                << id << ": " << text.toStdString();
        }
    }
}

TEST(StringTable, UnknownIdsGiveNoText) {
    LanguageGuard guard("ja_JP.UTF-8");
    for (const int id : {-1, 0, 19, 5040, 65535, 100000}) {
        EXPECT_TRUE(LoadResString(id).isEmpty()) << id;
        EXPECT_TRUE(LoadResString(id, Language::English).isEmpty()) << id;
        EXPECT_FALSE(findResString(id).has_value()) << id;
    }
}

} // namespace
