#pragma once
// An INI file (sections in brackets, key=value lines) read and written key by key.
//
// Names match without regard to case and surrounding blanks; the first of duplicate sections
// or keys is the one that counts. Writing changes only the lines of the keys written (or adds
// lines); every other line, including comments, unknown keys and bytes that are not UTF-8, is
// written back unchanged, and the file keeps its line-end style (a new file uses LF).

#include "platform/AtomicFile.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

class IniFile {
public:
    // Reads the file now. A missing file is empty; so is one that cannot be read or is too
    // large (over 16 MiB or 64 Ki lines), but that one is never overwritten by save().
    explicit IniFile(QString path);

    // Whether the file read belongs to this user (or to root) and nobody else may change it,
    // so that what it says was said by this user.
    bool isOwnFile() const { return ownFile_; }

    // The value's leading number read as Val reads it, cut to a whole number; 0 when the value
    // does not start with one; `defaultValue` when the key is missing.
    int readInt(const QString& section, const QString& key, int defaultValue) const;
    // At most 199 bytes of UTF-8, cut on a character boundary.
    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    bool hasKey(const QString& section, const QString& key) const;

    // Replaces the key's value in place, or adds the key at the end of its section, adding the
    // section at the end of the file when needed. Line breaks in the value become blanks.
    // Names that cannot be stored (a section with ']', an empty key, a key with '=' or one
    // that would read as a section or comment) are ignored.
    void writeInt(const QString& section, const QString& key, qint64 value);
    void writeString(const QString& section, const QString& key, const QString& value);

    // Writes the whole file atomically with mode 0600 (it may hold passwords and a command);
    // false, and the file untouched, on failure or when the reader would refuse the result
    // (errno EFBIG); errno says why.
    bool save(LinkHandling links = LinkHandling::Follow);

    QString path() const { return path_; }

private:
    struct Line {
        QByteArray text;      // without its line end
        const char* eol = ""; // "\n", "\r\n", or "" for a last line without one
        QString key;          // folded key name; empty when the line is no key line
    };
    struct Section {
        bool hasHeader = false;  // the lines before the first header have none
        std::vector<Line> lines; // the header line first
    };

    void parse(const QByteArray& bytes);
    const Line* findLine(const QString& section, const QString& key) const;
    Section& sectionForWrite(const QString& name);
    void writeValue(const QString& section, const QString& key, const QByteArray& value);
    void insertLine(Section& section, std::size_t at, const QByteArray& text, const QString& key);
    QByteArray serialize() const;

    QString path_;
    bool unreadable_ = false;
    bool ownFile_ = false;
    bool bom_ = false;
    const char* eol_ = "\n";
    std::vector<Section> sections_;
    QHash<QString, std::size_t> firstSection_; // folded name -> index into sections_
};
