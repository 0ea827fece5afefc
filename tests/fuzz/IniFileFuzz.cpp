// The INI reader and writer on any file: a file that is read and saved comes back byte for
// byte; values written read back as written, from memory and from the saved file alike, and
// leave every other key as it was; saving what was read from a save changes nothing.
// Input: the file's bytes, then optionally a NUL and the writes to make, as NUL-separated
// texts taken three at a time: section, key, value ("#<number>" writes that number).

#include "app/IniFile.h"
#include "model/Val.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QList>

#include <climits>
#include <optional>
#include <vector>

namespace {

constexpr qsizetype kMaxStringBytes = 199;
constexpr int kMaxProbes = 24;

struct Name {
    QString section, key;
};

struct Write {
    Name name;
    QString value;
    std::optional<qint64> number;
};

// What reading a key gives: whether it is there, its text and its number.
struct Reading {
    bool present;
    QString text;
    int number;
    bool operator==(const Reading&) const = default;
};

Reading read(const IniFile& ini, const Name& name) {
    return {ini.hasKey(name.section, name.key), ini.readString(name.section, name.key, {}),
            ini.readInt(name.section, name.key, -7)};
}

// Names are the same to the reader when they differ only in case and blanks; this folds more
// than the reader does, so that a key it may take for a written one is never checked as other.
QString loose(const QString& name) {
    QString folded;
    for (const QChar c : name.toCaseFolded()) {
        if (!c.isSpace() && c.unicode() >= 0x20)
            folded += c;
    }
    return folded;
}

bool related(const Name& a, const Name& b) {
    return loose(a.section) == loose(b.section) && loose(a.key) == loose(b.key);
}

// A name or value whose reading is plain: no blanks to trim, nothing to cut or replace.
bool plainName(const QString& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'-');
    });
}

bool plainValue(const QString& value) {
    return value.size() <= kMaxStringBytes && !value.startsWith(u' ') && !value.endsWith(u' ') &&
           std::all_of(value.begin(), value.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7e; });
}

// Section and key names as the file seems to hold them: the reader decides what they are.
std::vector<Name> namesIn(const QByteArray& file) {
    std::vector<Name> names;
    QString section;
    for (const QByteArray& raw : file.split('\n')) {
        const QByteArray line = raw.trimmed();
        const qsizetype close = line.indexOf(']');
        if (line.startsWith('[') && close > 0) {
            section = QString::fromUtf8(line.mid(1, close - 1));
        } else if (line.contains('=')) {
            const QString key = QString::fromUtf8(line.left(line.indexOf('=')));
            names.push_back({section, key});
            names.push_back({section.toUpper(), key.toLower()});
        }
        if (names.size() >= kMaxProbes)
            break;
    }
    return names;
}

std::vector<Write> writesIn(const QByteArray& text) {
    std::vector<Write> writes;
    const QList<QByteArray> parts = text.split('\0');
    for (qsizetype i = 0; i + 2 < parts.size(); i += 3) {
        const QString value = QString::fromUtf8(parts[i + 2]);
        writes.push_back(
            {{QString::fromUtf8(parts[i]), QString::fromUtf8(parts[i + 1])},
             value,
             value.startsWith(u'#') ? std::optional(value.mid(1).toLongLong()) : std::nullopt});
    }
    return writes;
}

void checkRead(const IniFile& ini, const std::vector<Name>& names) {
    for (const Name& name : names) {
        const Reading r = read(ini, name);
        FUZZ_CHECK(r.text.toUtf8().size() <= kMaxStringBytes);
        FUZZ_CHECK(!r.text.contains(u'\n'));
        FUZZ_CHECK(r.present || (r.text.isEmpty() && r.number == -7));
    }
}

// What each plainly named key must read after the writes: the last value written to it.
std::vector<std::pair<Name, Reading>> expectedReadings(const std::vector<Write>& writes) {
    std::vector<std::pair<Name, Reading>> expected;
    for (const Write& w : writes) {
        std::erase_if(expected, [&](const auto& e) { return related(e.first, w.name); });
        if (!plainName(w.name.section) || !plainName(w.name.key))
            continue;
        if (w.number)
            expected.push_back({w.name,
                                {true, QString::number(*w.number),
                                 int(std::clamp<qint64>(*w.number, INT_MIN, INT_MAX))}});
        else if (plainValue(w.value))
            expected.push_back({w.name, {true, w.value, ValInt(w.value)}});
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = fuzzPath(QStringLiteral("ini/set.ini"));
    const QByteArray input = inputBytes(data, size);
    const qsizetype split = input.indexOf('\0');
    const QByteArray file = split < 0 ? input : input.left(split);
    const std::vector<Write> writes =
        split < 0 ? std::vector<Write>{} : writesIn(input.mid(split + 1));

    writeFileBytes(path, file);
    IniFile ini(path);
    std::vector<Name> names = namesIn(file);
    for (const Write& w : writes)
        names.push_back(w.name);
    checkRead(ini, names);
    std::vector<Reading> before;
    for (const Name& name : names)
        before.push_back(read(ini, name));

    for (const Write& w : writes) {
        if (w.number)
            ini.writeInt(w.name.section, w.name.key, *w.number);
        else
            ini.writeString(w.name.section, w.name.key, w.value);
    }
    FUZZ_CHECK(ini.save());
    const QByteArray saved = readFileBytes(path);
    if (writes.empty())
        FUZZ_CHECK(saved == file);

    const IniFile again(path);
    checkRead(again, names);
    for (size_t i = 0; i < names.size(); ++i) {
        FUZZ_CHECK(read(again, names[i]) == read(ini, names[i]));
        const bool written = std::any_of(writes.begin(), writes.end(),
                                         [&](const Write& w) { return related(w.name, names[i]); });
        if (!written)
            FUZZ_CHECK(read(again, names[i]) == before[i]);
    }
    for (const auto& [name, reading] : expectedReadings(writes))
        FUZZ_CHECK(read(again, name) == reading);

    IniFile onceMore(path);
    FUZZ_CHECK(onceMore.save());
    FUZZ_CHECK(readFileBytes(path) == saved);
    return 0;
}
