// Writing: in-place changes, appends, line ends, keeping what is not ours, saving safely.

#include "app/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uid_t nobodyId = 65534;

class IniFileWrite : public ::testing::Test {
protected:
    QString path(const char* name = "set.lvx") const {
        return dir.filePath(QString::fromUtf8(name));
    }
    QString fileWith(const QByteArray& bytes) {
        EXPECT_TRUE(writeWholeFile(path(), bytes));
        return path();
    }
    static mode_t modeOf(const QString& file) {
        struct stat st {};
        ::stat(QFile::encodeName(file).constData(), &st);
        return st.st_mode & 07777;
    }
    QTemporaryDir dir;
};

// A file as a Windows program writes it: CRLF, its own key case, keys we do not know,
// comments, odd lines, a byte that is not UTF-8, and a last line without a line end.
const QByteArray windowsFile = "[lumivex]\r\n"
                               "mainleft=1200\r\n"
                               "numsessions=2\r\n"
                               "; kept comment\r\n"
                               "UnknownKey=keep me\r\n"
                               "\r\n"
                               "[Session1]\r\n"
                               "connector=3\r\n"
                               "SessionDescription=caf\xE9\r\n"
                               "just some text\r\n"
                               "\r\n"
                               "[Session2]\r\n"
                               "Connector=4\r\n"
                               "\r\n"
                               "[Session3]\r\n"
                               "Connector=9";

TEST_F(IniFileWrite, WindowsFileReadAndWrittenBackIsByteForByteTheSame) {
    IniFile ini(fileWith(windowsFile));
    ini.writeInt("Lumivex", "MainLeft", ini.readInt("Lumivex", "MainLeft", 1000));
    ini.writeInt("Lumivex", "NumSessions", ini.readInt("Lumivex", "NumSessions", 0));
    for (const char* session : {"Session1", "Session2"}) {
        ini.writeInt(session, "Connector", ini.readInt(session, "Connector", 0));
        ini.writeString(session, "SessionDescription",
                        ini.readString(session, "SessionDescription", {}));
    }
    ASSERT_TRUE(ini.save());
    // Only Session2 lacked a description; it is added after its last key.
    EXPECT_EQ(readWholeFile(path()),
              QByteArray(windowsFile)
                  .replace("Connector=4\r\n", "Connector=4\r\nSessionDescription=\r\n"));
}

TEST_F(IniFileWrite, ChangesInPlaceAndAppendsInTheFilesLineEndStyle) {
    IniFile ini(fileWith(windowsFile));
    ini.writeInt("Lumivex", "NumSessions", 1);
    ini.writeString("Lumivex", "Password", "pw");
    ini.writeInt("Session3", "BaudRate", 6);
    ini.writeInt("Session4", "Connector", 5);
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readWholeFile(path()),
              QByteArray(windowsFile)
                  .replace("numsessions=2", "numsessions=1")
                  .replace("keep me\r\n", "keep me\r\nPassword=pw\r\n")
                  .replace("Connector=9",
                           "Connector=9\r\nBaudRate=6\r\n\r\n[Session4]\r\nConnector=5\r\n"));
    const IniFile again(path());
    EXPECT_EQ(again.readInt("Session3", "Connector", 0), 9); // a section beyond the count stays
    EXPECT_EQ(again.readString("Lumivex", "UnknownKey", {}), "keep me");
}

struct EditRow {
    const char* name;
    QByteArray before;
    std::vector<std::array<const char*, 3>> writes; // section, key, value
    QByteArray after;
};

// Writes change only what they must, in the file's own style.
const EditRow kEdits[] = {
    {"new file: LF, sections in the order of writes",
     "",
     {{"Lumivex", "MainLeft", "1000"},
      {"Session1", "Connector", "0"},
      {"Lumivex", "Password", ""},
      {"Session1", "TimeoutValue", "-150"}},
     "[Lumivex]\nMainLeft=1000\nPassword=\n\n[Session1]\nConnector=0\nTimeoutValue=-150\n"},
    {"append after the last key, not after blanks or comments",
     "[A]\na=1\n\n\n; about B\n[B]\n; nothing yet\n\n[C]\n",
     {{"A", "b", "2"}, {"B", "x", "3"}, {"C", "y", "4"}},
     "[A]\na=1\nb=2\n\n\n; about B\n[B]\nx=3\n; nothing yet\n\n[C]\ny=4\n"},
    {"the key keeps its spelling and blanks",
     "[S]\n  numSessions =  2\n",
     {{"S", "NumSessions", "12"}},
     "[S]\n  numSessions =  12\n"},
    {"first of duplicates changed",
     "[A]\nk=1\nk=2\n[a]\nk=3\n",
     {{"A", "K", "9"}, {"A", "new", "1"}},
     "[A]\nk=9\nk=2\nnew=1\n[a]\nk=3\n"},
    {"a last line without line end keeps it until a line follows",
     "[A]\na=1\n[B]\nb=2",
     {{"A", "c", "3"}},
     "[A]\na=1\nc=3\n[B]\nb=2"},
    {"a line after the last one", "[B]\nb=2", {{"B", "d", "4"}}, "[B]\nb=2\nd=4\n"},
    {"BOM and CRLF kept",
     "\xEF\xBB\xBF[S]\r\nk=1\r\n",
     {{"S", "k", "2"}},
     "\xEF\xBB\xBF[S]\r\nk=2\r\n"},
    {"names that cannot be stored are ignored",
     "",
     {{"A]B", "k", "1"},
      {"S", "", "1"},
      {"S", "a=b", "1"},
      {"S", "[T]", "1"},
      {"S", ";c", "1"},
      {"S\nT", "k", "1"},
      {"S", "k\nl", "1"}},
     ""},
    {"line breaks in a value become blanks",
     "",
     {{"S", "Password", "a\r\nb\nc\r[Evil]"}, {"S", "After", "1"}},
     "[S]\nPassword=a  b c [Evil]\nAfter=1\n"},
};

TEST_F(IniFileWrite, EditsChangeOnlyWhatTheyMust) {
    for (const EditRow& row : kEdits) {
        IniFile ini(fileWith(row.before));
        for (const auto& [section, key, value] : row.writes)
            ini.writeString(QString::fromUtf8(section), QString::fromUtf8(key),
                            QString::fromUtf8(value));
        ASSERT_TRUE(ini.save()) << row.name;
        EXPECT_EQ(readWholeFile(path()), row.after) << row.name;
    }
}

TEST_F(IniFileWrite, Utf8TextRoundTrips) {
    IniFile ini(path());
    ini.writeString("Session1", "SessionDescription", QStringLiteral("Prüfstand 東京"));
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(IniFile(path()).readString("session1", "sessiondescription", {}),
              QStringLiteral("Prüfstand 東京"));
}

TEST_F(IniFileWrite, PrivateModeGivesMode0600AndOtherwiseModeIsKept) {
    IniFile fresh(path("private.lvx"));
    fresh.writeString("Lumivex", "Password", "secret");
    ASSERT_TRUE(fresh.save(true));
    EXPECT_EQ(modeOf(path("private.lvx")), 0600u);

    const QString shared = fileWith("[S]\nk=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0640), 0);
    IniFile kept(shared);
    kept.writeInt("S", "k", 2);
    ASSERT_TRUE(kept.save());
    EXPECT_EQ(modeOf(shared), 0640u);

    // Root saving a user's file (a service editing it) leaves it the user's own.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), nobodyId, nobodyId), 0);
    }
    IniFile tightened(shared);
    tightened.writeString("S", "Password", "secret");
    ASSERT_TRUE(tightened.save(true));
    EXPECT_EQ(modeOf(shared), 0600u);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(shared).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, root ? nobodyId : ::geteuid());
}

TEST_F(IniFileWrite, TheLongestFileNameSavesAndNoTemporaryFileStays) {
    const QString name = QString(255 - 4, QLatin1Char('n')) + QStringLiteral(".lvx");
    IniFile ini(dir.filePath(name));
    ini.writeInt("S", "k", 1);
    EXPECT_TRUE(ini.save());
    EXPECT_EQ(readWholeFile(dir.filePath(name)), "[S]\nk=1\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{name});
}

TEST_F(IniFileWrite, SymlinkedFileIsWrittenThroughTheLink) {
    const QString target = fileWith("[S]\nk=1\n");
    const QString link = path("link.lvx");
    ASSERT_TRUE(QFile::link(target, link));
    IniFile ini(link);
    ini.writeInt("S", "k", 2);
    ASSERT_TRUE(ini.save());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readWholeFile(target), "[S]\nk=2\n");
}

TEST_F(IniFileWrite, UnwritablePlacesFailAndLeaveTheOldFile) {
    // Root ignores mode bits, so the failures are made by what the path is.
    const QString folderAsFile = fileWith("[S]\nk=1\n");
    IniFile underFile(folderAsFile + QStringLiteral("/inner.lvx"));
    underFile.writeInt("S", "k", 2);
    EXPECT_FALSE(underFile.save());

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.lvx")));
    IniFile folder(path("folder.lvx"));
    folder.writeInt("S", "k", 2);
    EXPECT_FALSE(folder.save());
    EXPECT_TRUE(QFileInfo(path("folder.lvx")).isDir());
    EXPECT_FALSE(IniFile(QString()).save());
    EXPECT_EQ(readWholeFile(folderAsFile), "[S]\nk=1\n");
}

// Runs `check` with an ordinary user's rights, so that mode bits count: as root, in a child
// process that gives root up first. Returns what the check returned.
bool withoutRoot(const std::function<bool()>& check) {
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(nobodyId) == 0 && ::setuid(nobodyId) == 0;
        ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool chmodPath(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

TEST_F(IniFileWrite, ReadOnlyFolderOrFileFailsAndLeavesTheOldFile) {
    ASSERT_TRUE(chmodPath(dir.path(), 0777));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("ro")));
    const QString inReadOnlyFolder = path("ro/set.lvx");
    ASSERT_TRUE(writeWholeFile(inReadOnlyFolder, "[S]\nk=1\n"));
    ASSERT_TRUE(chmodPath(inReadOnlyFolder, 0666)); // only the folder stops the write
    ASSERT_TRUE(chmodPath(path("ro"), 0555));
    const QString readOnlyFile = fileWith("[S]\nk=1\n");
    ASSERT_TRUE(chmodPath(readOnlyFile, 0444)); // only the file stops the write

    for (const QString& file : {inReadOnlyFolder, readOnlyFile}) {
        EXPECT_TRUE(withoutRoot([&file] {
            IniFile ini(file);
            const bool read = ini.readInt("S", "k", 0) == 1;
            ini.writeInt("S", "k", 2);
            return read && !ini.save();
        })) << file.toStdString();
        EXPECT_EQ(readWholeFile(file), "[S]\nk=1\n");
    }
    // The same places as writable, so the check above is known to reach save().
    EXPECT_TRUE(withoutRoot([this] {
        IniFile ini(path("writable.lvx"));
        ini.writeInt("S", "k", 2);
        return ini.save();
    }));
    chmodPath(path("ro"), 0755);
}

TEST_F(IniFileWrite, FileThatCouldNotBeReadIsNeverReplaced) {
    const QString fifo = path("fifo.lvx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    IniFile ini(fifo);
    ini.writeInt("S", "k", 1);
    EXPECT_FALSE(ini.save());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

} // namespace
