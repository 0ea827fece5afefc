#include "text/StringTable.h"

#include "tests/text/LanguageGuard.h"

#include <gtest/gtest.h>

namespace {

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
};

// LC_ALL before LC_MESSAGES before LANG; the first non-empty one decides.
const LocaleCase kLocaleCases[] = {
    {"", "", "", Language::English},
    {"", "", "C.UTF-8", Language::English},
    {"", "", "de_DE.UTF-8", Language::English},
    {"", "", "ja", Language::Japanese},
    {"", "", "ja_JP.eucJP", Language::Japanese},
    {"", "", "japanese", Language::Japanese},
    {"", "", "jam_JM.UTF-8", Language::English}, // Jamaican Creole is not Japanese
    {"", "ja_JP.UTF-8", "en_US.UTF-8", Language::Japanese},
    {"", "C", "ja_JP.UTF-8", Language::English},
    {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::English},
    {"ja_JP.UTF-8", "en_GB.UTF-8", "en_GB.UTF-8", Language::Japanese},
    {"ja_JP.SJIS", "", "", Language::Japanese},
};

class LanguageChoice : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageChoice, FollowsTheFirstNonEmptyLocaleVariable) {
    const LocaleCase& c = GetParam();
    LanguageGuard guard(c.lang, c.lcMessages, c.lcAll);
    EXPECT_EQ(languageFromEnvironment(), c.expected);
    EXPECT_EQ(uiLanguage(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, LanguageChoice, ::testing::ValuesIn(kLocaleCases));

TEST(LanguageChoiceUnset, NoLocaleVariablesMeansEnglish) {
    LanguageGuard guard("ja_JP.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANG");
    EXPECT_EQ(uiLanguage(), Language::English);
}

TEST(LanguageOverride, BeatsTheEnvironmentUntilCleared) {
    LanguageGuard guard("C");
    setLanguageOverride(Language::Japanese);
    EXPECT_EQ(uiLanguage(), Language::Japanese);
    {
        LanguageGuard japaneseEnv("ja_JP.UTF-8");
        setLanguageOverride(Language::English);
        EXPECT_EQ(uiLanguage(), Language::English);
        setLanguageOverride(std::nullopt);
        EXPECT_EQ(uiLanguage(), Language::Japanese);
    }
    EXPECT_EQ(uiLanguage(), Language::English);
}

TEST(StringTable, EveryIdHasTextInBothLanguages) {
    const QList<int> ids = stringIds();
    ASSERT_FALSE(ids.isEmpty());
    for (const int id : ids) {
        EXPECT_FALSE(LoadResString(id, Language::English).isEmpty()) << id;
        EXPECT_FALSE(LoadResString(id, Language::Japanese).isEmpty()) << id;
    }
}

// A "&" marks the next character as the accelerator; one before ")" or at the end marks
// nothing, and "&&" is a literal ampersand.
TEST(StringTable, NoAcceleratorMarkerDangles) {
    for (const int id : stringIds()) {
        for (const Language language : {Language::English, Language::Japanese}) {
            const QString text = LoadResString(id, language);
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text[i] != QLatin1Char('&'))
                    continue;
                const bool marks = i + 1 < text.size() && text[i + 1].isLetterOrNumber();
                const bool literal = i + 1 < text.size() && text[i + 1] == QLatin1Char('&');
                EXPECT_TRUE(marks || literal) << id << ": " << text.toStdString();
                i += literal ? 1 : 0;
            }
        }
    }
}

TEST(StringTable, UnknownIdsGiveNoText) {
    LanguageGuard guard("ja_JP.UTF-8");
    for (const int id : {-1, 0, 19, 22, 5040, 5086, 65535, 100000}) {
        EXPECT_TRUE(LoadResString(id).isEmpty()) << id;
        EXPECT_TRUE(LoadResString(id, Language::English).isEmpty()) << id;
        EXPECT_FALSE(findResString(id).has_value()) << id;
    }
}

// Texts composed at run time follow a change of language at their next fetch.
TEST(StringTable, LanguageChangeShowsAtTheNextFetch) {
    LanguageGuard guard("en_US.UTF-8");
    EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
    {
        ScopedEnv japanese("LANG", "ja_JP.UTF-8");
        EXPECT_EQ(LoadResString(5100), QStringLiteral("閉じています"));
    }
    EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
    setLanguageOverride(Language::Japanese);
    EXPECT_EQ(LoadResString(5100), QStringLiteral("閉じています"));
    setLanguageOverride(Language::English);
    EXPECT_EQ(LoadResString(5100), QStringLiteral("Closed"));
}

} // namespace
