#pragma once
// Puts the language choice into a known state for one test and restores it afterwards: the
// override cleared and LC_ALL, LC_MESSAGES and LANG set as given (empty counts as unset).

#include "tests/support/TestSupport.h"
#include "text/StringTable.h"

class LanguageGuard {
public:
    explicit LanguageGuard(const QByteArray& lang = "C", const QByteArray& lcMessages = {},
                           const QByteArray& lcAll = {})
        : lcAll_("LC_ALL", lcAll)
        , lcMessages_("LC_MESSAGES", lcMessages)
        , lang_("LANG", lang) {
        setLanguageOverride(std::nullopt);
    }
    ~LanguageGuard() { setLanguageOverride(std::nullopt); }

private:
    ScopedEnv lcAll_;
    ScopedEnv lcMessages_;
    ScopedEnv lang_;
};
