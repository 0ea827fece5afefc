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

// Numbers are read as Val reads them (its own table covers the rules), cut to int.
TEST_F(IniFileRead, NumbersReadAsValCutToInt) {
    const IniFile ini(fileWith("[S]\na=12abc\nb= 3.9 \nc=99999999999999999999\nd=\ne=x\n"));
    EXPECT_EQ(ini.readInt("S", "a", 7), 12);
    EXPECT_EQ(ini.readInt("S", "b", 7), 3);
    EXPECT_EQ(ini.readInt("S", "c", 7), INT_MAX);
    EXPECT_EQ(ini.readInt("S", "d", 7), 0);
    EXPECT_EQ(ini.readInt("S", "e", 7), 0);
    EXPECT_EQ(ini.readInt("S", "missing", 7), 7);
}

struct CutRow {
    const char* name;
    QByteArray value;
    qsizetype expectedBytes;
};

class IniFileStringCut : public IniFileRead, public ::testing::WithParamInterface<CutRow> {};

TEST_P(IniFileStringCut, KeepsAtMost199BytesOnACharacterBoundary) {
    const IniFile ini(fileWith("[S]\nK=" + GetParam().value + "\n"));
    const QByteArray read = ini.readString("S", "K", {}).toUtf8();
    EXPECT_EQ(read.size(), GetParam().expectedBytes);
    EXPECT_TRUE(GetParam().value.startsWith(read));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, IniFileStringCut,
    ::testing::Values(CutRow{"exactly199", QByteArray(199, 'a'), 199},
                      CutRow{"long", QByteArray(250, 'a'), 199},
                      CutRow{"twoByteAcrossCut", QByteArray(198, 'a') + "\xC3\xA9xyz", 198},
                      CutRow{"twoByteEndsAtCut", QByteArray(197, 'a') + "\xC3\xA9xyz", 199},
                      CutRow{"threeByteAcrossCut", QByteArray(197, 'a') + "\xE2\x82\xAC", 197},
                      CutRow{"fourByteAcrossCut", QByteArray(196, 'a') + "\xF0\x9F\x98\x80!", 196}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadRow {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: the key is missing and the default comes back
};

const ReadRow kReads[] = {
    {"missing section", "[Lumivex]\nPacketSize=100\n", "Session1", "PacketSize", nullptr},
    {"missing key", "[Lumivex]\nPacketSize=100\n", "Lumivex", "PingTimeout", nullptr},
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
        const IniFile ini(fileWith(row.file));
        const QString section = QString::fromUtf8(row.section);
        const QString key = QString::fromUtf8(row.key);
        EXPECT_EQ(ini.hasKey(section, key), row.expected != nullptr) << row.name;
        EXPECT_EQ(ini.readString(section, key, QStringLiteral("default")),
                  row.expected ? QString::fromUtf8(row.expected) : QStringLiteral("default"))
            << row.name;
    }
    const IniFile none(dir.filePath(QStringLiteral("absent.lvx")));
    EXPECT_EQ(none.readInt("Lumivex", "NumSessions", 5), 5);
}

TEST_F(IniFileRead, BytesThatAreNotUtf8DoNotBreakReading) {
    const IniFile ini(fileWith("[S]\nName=caf\xE9\nN=4\n"));
    EXPECT_FALSE(ini.readString("S", "Name", {}).isEmpty());
    EXPECT_EQ(ini.readInt("S", "N", 0), 4);
}

TEST_F(IniFileRead, FolderOrFifoInsteadOfAFileReadsAsEmptyWithoutHanging) {
    const IniFile folder(dir.path());
    EXPECT_EQ(folder.readInt("S", "K", 9), 9);

    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const IniFile pipe(fifo);
    EXPECT_EQ(pipe.readInt("S", "K", 9), 9);
}

} // namespace
