// Reading values: numbers, strings, names, defaults.

#include "app/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <climits>
#include <sys/stat.h>

namespace {

class IniFileRead : public ::testing::Test {
protected:
    QString fileWith(const QByteArray& bytes) {
        const QString path = dir.filePath(QStringLiteral("set.lvx"));
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

// Numbers are read as Val reads them (its own table covers the rules), cut to int; bytes
// that are not UTF-8 do not break reading.
TEST_F(IniFileRead, NumbersReadAsValCutToInt) {
    const IniFile ini(fileWith("[S]\na=12abc\nc=99999999999999999999\nd=\nn=caf\xE9\n"));
    EXPECT_EQ(QList<int>({ini.readInt("S", "a", 7), ini.readInt("S", "c", 7),
                          ini.readInt("S", "d", 7), ini.readInt("S", "missing", 7)}),
              QList<int>({12, INT_MAX, 0, 7}));
    EXPECT_FALSE(ini.readString("S", "n", {}).isEmpty());
}

TEST_F(IniFileRead, StringsKeepAtMost199BytesOnACharacterBoundary) {
    const std::pair<QByteArray, qsizetype> rows[] = {
        {QByteArray(199, 'a'), 199},
        {QByteArray(250, 'a'), 199},
        {QByteArray(198, 'a') + "\xC3\xA9xyz", 198},
        {QByteArray(197, 'a') + "\xC3\xA9xyz", 199},
        {QByteArray(196, 'a') + "\xF0\x9F\x98\x80!", 196},
    };
    for (const auto& [value, bytes] : rows) {
        const QByteArray read =
            IniFile(fileWith("[S]\nK=" + value + "\n")).readString("S", "K", {}).toUtf8();
        EXPECT_EQ(read.size(), bytes);
        EXPECT_TRUE(value.startsWith(read));
    }
}

struct ReadRow {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: the key is missing and the default comes back
};

const ReadRow kReads[] = {
    {"missing section", "[Lumivex]\nPacketSize=100\n", "Session1", "PacketSize", nullptr},
    {"empty value", "[S]\nT=\n", "S", "T", ""},
    {"names without case or blanks", "  [ lumivex ]  \n  numsessions  =  3  \n", "Lumivex",
     "NumSessions", "3"},
    {"value trimmed, inner blanks kept", "[L]\nPASSWORD= p w \n", "l", "Password", "p w"},
    {"non-ASCII names without case", "[Größe]\nÄrger=1\n", "GRÖßE", "ärger", "1"},
    {"CRLF and BOM", "\xEF\xBB\xBF[Lumivex]\r\nPassword=secret\r\n", "Lumivex", "Password",
     "secret"},
    {"first of duplicate keys", "[A]\nk=1\nk=2\n", "A", "k", "1"},
    {"first of duplicate sections", "[A]\nk=1\n[B]\n[a]\nonly=4\n", "A", "only", nullptr},
    {"a comment is no key", "[S]\n;k=1\n", "S", "k", nullptr},
    {"a line without '=' is no key", "[S]\nno equals\n", "S", "no equals", nullptr},
    {"no empty key", "[S]\n=orphan\n", "S", "", nullptr},
    {"a broken header is no header", "[S]\n[broken\nv=2\n", "S", "v", "2"},
    {"keys before any section belong to none", "k=1\n[S]\n", "S", "k", nullptr},
    {"all after the first '='", "[S]\nRun=a --l=2 \"a b\"\n", "S", "Run", "a --l=2 \"a b\""},
};

TEST_F(IniFileRead, KeysReadFromFilesOfEveryShape) {
    for (const ReadRow& row : kReads) {
        SCOPED_TRACE(row.name);
        const IniFile ini(fileWith(row.file));
        const QString section = QString::fromUtf8(row.section);
        const QString key = QString::fromUtf8(row.key);
        EXPECT_EQ(ini.hasKey(section, key), row.expected != nullptr);
        EXPECT_EQ(ini.readString(section, key, QStringLiteral("default")),
                  QString::fromUtf8(row.expected ? row.expected : "default"));
    }
}

TEST_F(IniFileRead, AbsentFileFolderOrFifoReadsAsEmptyWithoutHanging) {
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {dir.path(), fifo, dir.filePath(QStringLiteral("absent.lvx"))})
        EXPECT_EQ(IniFile(path).readInt("S", "K", 9), 9) << path.toStdString();
}

} // namespace
