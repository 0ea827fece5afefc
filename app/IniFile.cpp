#include "app/IniFile.h"

#include "model/Val.h"
#include "platform/AtomicFile.h"
#include "platform/linux/UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A string value comes back in a 200-byte buffer on Windows: at most 199 bytes of it.
constexpr qsizetype maxStringBytes = 199;
// A set file is a few kilobytes; anything this large or with this many lines is not one and is
// left alone. Both bound what reading a file holds in memory.
constexpr qsizetype maxFileBytes = 16 * 1024 * 1024;
constexpr qsizetype maxLines = 64 * 1024;
constexpr int longestUtf8Sequence = 4;
const QByteArray utf8Bom("\xEF\xBB\xBF");
const char* const lf = "\n";
const char* const crlf = "\r\n";
// A set file may hold a password and a command: it is readable by its owner only.
constexpr mode_t privateMode = 0600;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArray trimmed(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString foldName(const QByteArray& name) {
    return QString::fromUtf8(trimmed(name)).toCaseFolded();
}

QString foldName(const QString& name) {
    return foldName(name.toUtf8());
}

// The folded section name of a header line "[name]"; null when the line is no header.
QString headerName(const QByteArray& text) {
    const QByteArray line = trimmed(text);
    const qsizetype close = line.indexOf(']');
    if (!line.startsWith('[') || close < 0)
        return {};
    const QString name = foldName(line.mid(1, close - 1));
    return name.isNull() ? QStringLiteral("") : name;
}

// The folded key of a "key=value" line; empty for comments and lines without a key.
QString keyName(const QByteArray& text) {
    const qsizetype eq = text.indexOf('=');
    if (eq < 0 || trimmed(text).startsWith(';'))
        return {};
    return foldName(text.left(eq));
}

QByteArray valueOf(const QByteArray& text) {
    return trimmed(text.mid(text.indexOf('=') + 1));
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
QByteArray cutUtf8(QByteArray bytes, qsizetype limit) {
    if (bytes.size() <= limit)
        return bytes;
    qsizetype cut = limit;
    for (int step = 1; step < longestUtf8Sequence && cut > 0; ++step) {
        if ((uchar(bytes[cut]) & 0xC0) != 0x80)
            break; // the first byte left out starts a character
        --cut;
    }
    if ((uchar(bytes[cut]) & 0xC0) == 0x80)
        cut = limit; // not UTF-8 here: keep the plain byte cut
    bytes.truncate(cut);
    return bytes;
}

bool isStorableSection(const QByteArray& name) {
    return !name.contains(']') && !name.contains('\n') && !name.contains('\r');
}

// A key must fold to a name: one that folds to nothing (a lone byte order mark) would match
// the header and comment lines, which have no key.
bool isStorableKey(const QByteArray& name) {
    const QByteArray key = trimmed(name);
    return !foldName(key).isEmpty() && !key.contains('=') && !key.contains('\n') &&
           !key.contains('\r') && !key.startsWith('[') && !key.startsWith(';');
}

// A value must stay on its own line.
QByteArray oneLine(QByteArray value) {
    value.replace('\r', ' ');
    value.replace('\n', ' ');
    return value;
}

enum class ReadResult { Read, Missing, Unreadable };

// Reads a regular file without ever blocking (a FIFO or device is refused, not opened for
// reading); `st` describes the file that was read.
ReadResult readRegularFile(const QString& path, QByteArray* bytes, struct stat* st) {
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unreadable;
    if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode) || st->st_size > maxFileBytes)
        return ReadResult::Unreadable;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || bytes->size() + n > maxFileBytes)
            return ReadResult::Unreadable;
        if (n == 0)
            return ReadResult::Read;
        bytes->append(chunk, n);
    }
}

// What this user said: a file of theirs (or root's, who may change any file anyway) that
// nobody else may change.
bool isUsersOwn(const struct stat& st) {
    return (st.st_uid == ::geteuid() || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

IniFile::IniFile(QString path)
    : path_(std::move(path)) {
    QByteArray bytes;
    struct stat st {};
    const ReadResult read = readRegularFile(path_, &bytes, &st);
    unreadable_ = read == ReadResult::Unreadable || bytes.count('\n') >= maxLines;
    ownFile_ = read == ReadResult::Read && !unreadable_ && isUsersOwn(st);
    parse(unreadable_ ? QByteArray() : bytes);
}

void IniFile::parse(const QByteArray& bytes) {
    QByteArray body = bytes;
    if (body.startsWith(utf8Bom)) {
        bom_ = true;
        body.remove(0, utf8Bom.size());
    }
    sections_.push_back(Section{}); // what comes before the first header
    bool styleKnown = false;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype newline = body.indexOf('\n', pos);
        Line line;
        if (newline < 0) {
            line.text = body.mid(pos);
            pos = body.size();
        } else {
            line.text = body.mid(pos, newline - pos);
            line.eol = lf;
            if (line.text.endsWith('\r')) {
                line.text.chop(1);
                line.eol = crlf;
            }
            pos = newline + 1;
        }
        if (!styleKnown && *line.eol != '\0') {
            eol_ = line.eol;
            styleKnown = true;
        }
        const QString header = headerName(line.text);
        if (!header.isNull()) {
            firstSection_.insert(header, firstSection_.value(header, sections_.size()));
            sections_.push_back(Section{true, {}});
        } else {
            line.key = keyName(line.text);
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

const IniFile::Line* IniFile::findLine(const QString& section, const QString& key) const {
    const auto found = firstSection_.constFind(foldName(section));
    if (found == firstSection_.cend())
        return nullptr;
    const QString wanted = foldName(key);
    if (wanted.isEmpty())
        return nullptr;
    for (const Line& line : sections_[*found].lines) {
        if (line.key == wanted)
            return &line;
    }
    return nullptr;
}

int IniFile::readInt(const QString& section, const QString& key, int defaultValue) const {
    const Line* line = findLine(section, key);
    return line ? ValInt(QString::fromUtf8(valueOf(line->text))) : defaultValue;
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const Line* line = findLine(section, key);
    if (!line)
        return defaultValue;
    // Cut after decoding: each byte that is not UTF-8 becomes U+FFFD, three bytes of its own.
    // A carriage return inside the value reads as the blank that saving it would store.
    return QString::fromUtf8(
        cutUtf8(oneLine(QString::fromUtf8(valueOf(line->text)).toUtf8()), maxStringBytes));
}

bool IniFile::hasKey(const QString& section, const QString& key) const {
    return findLine(section, key) != nullptr;
}

void IniFile::writeInt(const QString& section, const QString& key, qint64 value) {
    writeValue(section, key, QByteArray::number(value));
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    writeValue(section, key, oneLine(value.toUtf8()));
}

void IniFile::writeValue(const QString& section, const QString& key, const QByteArray& value) {
    const QByteArray sectionName = section.toUtf8();
    const QByteArray keyText = key.toUtf8();
    if (!isStorableSection(sectionName) || !isStorableKey(keyText))
        return;
    Section& target = sectionForWrite(section);
    const QString wanted = foldName(keyText);
    std::size_t after = 1; // just below the header when the section has no key yet
    for (std::size_t i = 0; i < target.lines.size(); ++i) {
        Line& line = target.lines[i];
        if (line.key != wanted) {
            after = line.key.isEmpty() ? after : i + 1;
            continue;
        }
        // Unchanged, as text: the line keeps its exact bytes, so a value that is not UTF-8
        // survives being read and written back.
        if (QString::fromUtf8(valueOf(line.text)) == QString::fromUtf8(value))
            return;
        // Keep the key as the file spells it, and the blanks after '='.
        qsizetype keep = line.text.indexOf('=') + 1;
        while (keep < line.text.size() && (line.text[keep] == ' ' || line.text[keep] == '\t'))
            ++keep;
        line.text = line.text.left(keep) + value;
        return;
    }
    insertLine(target, after, trimmed(keyText) + '=' + value, wanted);
}

IniFile::Section& IniFile::sectionForWrite(const QString& name) {
    const QString folded = foldName(name);
    const auto found = firstSection_.constFind(folded);
    if (found != firstSection_.cend())
        return sections_[*found];

    // A blank line sets the new section apart from the text before it.
    Section& last = sections_.back();
    if (!last.lines.empty() && !trimmed(last.lines.back().text).isEmpty())
        insertLine(last, last.lines.size(), {}, {});
    sections_.push_back(Section{true, {}});
    firstSection_.insert(folded, sections_.size() - 1);
    insertLine(sections_.back(), 0, '[' + trimmed(name.toUtf8()) + ']', {});
    return sections_.back();
}

void IniFile::insertLine(Section& section, std::size_t at, const QByteArray& text,
                         const QString& key) {
    // Only the file's very last line can lack a line end; it needs one once a line follows.
    if (&section == &sections_.back() && at == section.lines.size()) {
        for (auto s = sections_.rbegin(); s != sections_.rend(); ++s) {
            if (s->lines.empty())
                continue;
            if (*s->lines.back().eol == '\0')
                s->lines.back().eol = eol_;
            break;
        }
    }
    section.lines.insert(section.lines.begin() + qsizetype(at), Line{text, eol_, key});
}

QByteArray IniFile::serialize() const {
    QByteArray out = bom_ ? utf8Bom : QByteArray();
    for (const Section& section : sections_) {
        for (const Line& line : section.lines) {
            out += line.text;
            out += line.eol;
        }
    }
    return out;
}

bool IniFile::save(LinkHandling links) {
    // What could not be read must not be replaced by what little we know, and a file that the
    // reader would refuse would lose the whole set at the next start.
    const QByteArray bytes = unreadable_ ? QByteArray() : serialize();
    if (unreadable_ || bytes.size() > maxFileBytes || bytes.count('\n') >= maxLines) {
        errno = EFBIG;
        return false;
    }
    return writeFileAtomically(path_, bytes, privateMode, links);
}
