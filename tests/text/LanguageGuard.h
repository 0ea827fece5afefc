#pragma once
// Puts the language choice into a known state for one test and restores it afterwards: the
// override cleared and LC_ALL, LC_MESSAGES and LANG set as given (empty counts as unset).

#include "tests/support/TestSupport.h"

#include <QByteArray>

class LanguageGuard {
public:
    explicit LanguageGuard(const QByteArray& lang = "C", const QByteArray& lcMessages = {},
                           const QByteArray& lcAll = {});
    ~LanguageGuard();
    LanguageGuard(const LanguageGuard&) = delete;
    LanguageGuard& operator=(const LanguageGuard&) = delete;

private:
    ScopedEnv lcAll_;
    ScopedEnv lcMessages_;
    ScopedEnv lang_;
};
