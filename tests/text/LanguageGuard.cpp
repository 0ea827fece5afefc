#include "tests/text/LanguageGuard.h"

#include "text/StringTable.h"

LanguageGuard::LanguageGuard(const QByteArray& lang, const QByteArray& lcMessages,
                             const QByteArray& lcAll)
    : lcAll_("LC_ALL", lcAll)
    , lcMessages_("LC_MESSAGES", lcMessages)
    , lang_("LANG", lang) {
    setLanguageOverride(std::nullopt);
}

LanguageGuard::~LanguageGuard() {
    setLanguageOverride(std::nullopt);
}
