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

TEST_F(IniFileRead, MissingFileSectionOrKeyGivesTheDefault) {
    const IniFile none(dir.filePath(QStringLiteral("absent.lvx")));
    EXPECT_EQ(none.readInt("Lumivex", "NumSessions", 5), 5);
    EXPECT_EQ(none.readString("Session1", "UserPrompt", "Username:"), "Username:");
    EXPECT_FALSE(none.hasKey("Lumivex", "NumSessions"));

    const IniFile some(fileWith("[Lumivex]\nPacketSize=100\n"));
    EXPECT_EQ(some.readInt("Session1", "PacketSize", 2000), 2000);
    EXPECT_EQ(some.readInt("Lumivex", "PingTimeout", 9), 9);
    EXPECT_EQ(some.readString("Lumivex", "Password", "x"), "x");
    EXPECT_EQ(some.readInt("Lumivex", "PacketSize", 2000), 100);
}

TEST_F(IniFileRead, EmptyValueIsPresentAndReadsAsZeroOrEmpty) {
    const IniFile ini(fileWith("[S]\nN=\nT=\n"));
    EXPECT_TRUE(ini.hasKey("S", "N"));
    EXPECT_EQ(ini.readInt("S", "N", 150), 0);
    EXPECT_EQ(ini.readString("S", "T", "Username:"), "");
}

TEST_F(IniFileRead, NamesMatchWithoutCaseAndBlanks) {
    const IniFile ini(fileWith("  [ lumivex ]  \n  numsessions  =  3  \nPASSWORD= p w \n"
                               "[SESSION1]\nuserprompt=Login:\n"));
    EXPECT_EQ(ini.readInt("Lumivex", "NumSessions", 0), 3);
    EXPECT_EQ(ini.readString("LUMIVEX", "Password", {}), "p w");
    EXPECT_EQ(ini.readString("Session1", "UserPrompt", {}), "Login:");
    EXPECT_TRUE(ini.hasKey("session1", "USERPROMPT"));
}

TEST_F(IniFileRead, NonAsciiNamesMatchWithoutCase) {
    const IniFile ini(fileWith("[Größe]\nÄrger=1\n"));
    EXPECT_EQ(ini.readInt("GRÖßE", "ärger", 0), 1);
}

TEST_F(IniFileRead, CrLfFileWithBomReads) {
    const IniFile ini(fileWith("\xEF\xBB\xBF[Lumivex]\r\nNumSessions=2\r\nPassword=secret\r\n"));
    EXPECT_EQ(ini.readInt("Lumivex", "NumSessions", 0), 2);
    EXPECT_EQ(ini.readString("Lumivex", "Password", {}), "secret");
}

TEST_F(IniFileRead, FirstOfDuplicateKeysAndSectionsCounts) {
    const IniFile ini(fileWith("[A]\nk=1\nk=2\n[B]\nx=1\n[a]\nk=3\nonlyhere=4\n"));
    EXPECT_EQ(ini.readInt("A", "k", 0), 1);
    EXPECT_FALSE(ini.hasKey("A", "onlyhere"));
}

TEST_F(IniFileRead, CommentsAndOddLinesAreNotKeys) {
    const IniFile ini(fileWith("k=before any section\n[S]\n;k=1\nno equals sign\n=orphan\n"
                               "[broken\nv=2\n"));
    EXPECT_FALSE(ini.hasKey("S", "k"));
    EXPECT_FALSE(ini.hasKey("S", "no equals sign"));
    EXPECT_FALSE(ini.hasKey("S", ""));
    EXPECT_EQ(ini.readInt("S", "v", 0), 2); // "[broken" is no header
}

TEST_F(IniFileRead, ValueKeepsEverythingAfterTheFirstEqualsSign) {
    const IniFile ini(fileWith("[S]\nOnErrorRunApp=run.sh --level=2 \"a b\"\n"));
    EXPECT_EQ(ini.readString("S", "OnErrorRunApp", {}), "run.sh --level=2 \"a b\"");
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
