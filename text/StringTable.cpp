#include "text/StringTable.h"

#include "text/StringTableData.h"

#include <QByteArray>
#include <algorithm>
#include <atomic>

namespace {

// -1 = follow the environment; otherwise the Language's value.
std::atomic<int> languageOverride{-1};

const StringEntry* entryOf(int id) {
    const auto entries = stringEntries();
    const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                     [](const StringEntry& e, int key) { return e.id < key; });
    if (it == entries.end() || it->id != id)
        return nullptr;
    return &*it;
}

} // namespace

Language languageOfLocale(const QString& locale) {
    // The language part ends where territory, code set or modifier begin: ja_JP.UTF-8@x.
    qsizetype end = locale.size();
    for (const QChar sep : {QChar('_'), QChar('.'), QChar('@')}) {
        const qsizetype at = locale.indexOf(sep);
        if (at >= 0)
            end = std::min(end, at);
    }
    const QString language = locale.left(end).toLower();
    const bool japanese = language == QLatin1String("ja") || language == QLatin1String("japanese");
    return japanese ? Language::Japanese : Language::English;
}

Language languageFromEnvironment() {
    // The precedence the C library uses for message texts.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return languageOfLocale(QString::fromLocal8Bit(value));
    }
    return Language::English;
}

Language uiLanguage() {
    const int fixed = languageOverride.load();
    return fixed < 0 ? languageFromEnvironment() : static_cast<Language>(fixed);
}

void setLanguageOverride(std::optional<Language> language) {
    languageOverride.store(language ? static_cast<int>(*language) : -1);
}

std::optional<QString> findResString(int id, Language language) {
    const StringEntry* entry = entryOf(id);
    if (!entry)
        return std::nullopt;
    return QString::fromUtf8(language == Language::Japanese ? entry->japanese : entry->english);
}

std::optional<QString> findResString(int id) {
    return findResString(id, uiLanguage());
}

QString LoadResString(int id, Language language) {
    return findResString(id, language).value_or(QString());
}

QString LoadResString(int id) {
    return LoadResString(id, uiLanguage());
}

QList<int> stringIds() {
    QList<int> ids;
    for (const StringEntry& entry : stringEntries())
        ids.append(entry.id);
    return ids;
}
