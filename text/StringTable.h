#pragma once
// The string table: each text of the program by id, in English and Japanese. Code fetches a
// text at the moment it shows it, so a change of language shows at the next fetch.

#include <QList>
#include <QString>
#include <optional>

enum class Language { English, Japanese };

// The language of the user interface: the override when one is set, otherwise the language
// of the environment (languageFromEnvironment).
Language uiLanguage();

// Japanese when the first non-empty of LC_ALL, LC_MESSAGES and LANG names a Japanese locale
// (ja, ja_JP, ja_JP.UTF-8, japanese ...); English for anything else, "C" and unset included.
Language languageFromEnvironment();

// Japanese when the locale name's language part is "ja" (or the alias "japanese").
Language languageOfLocale(const QString& locale);

// Fixes the language regardless of the environment; nullopt follows the environment again.
void setLanguageOverride(std::optional<Language> language);

// The text of id in the current language; empty when the table has no such id.
QString LoadResString(int id);
QString LoadResString(int id, Language language);

// The text of id, or nullopt when the table has no such id (so an empty text is never
// mistaken for a real one).
std::optional<QString> findResString(int id, Language language);
std::optional<QString> findResString(int id);

// Every id of the table, ascending.
QList<int> stringIds();
