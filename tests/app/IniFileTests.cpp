// The INI reader and writer: values, in-place edits, and saving safely.

#include "app/IniFile.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uid_t nobodyId = 65534;

struct stat statOf(const QString& file) {
    struct stat st {};
    ::stat(QFile::encodeName(file).constData(), &st);
    return st;
}

bool chmodPath(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool saveChanged(const QString& file) {
    IniFile ini(file);
    ini.writeInt("S", "k", 2);
    return ini.save();
}

// Whether `check` holds when run in a child process (which may limit itself first).
bool inChild(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// What `check` returns when run with an ordinary user's rights (as root: in a child that drops).
bool withoutRoot(const std::function<bool()>& check) {
    if (::geteuid() != 0)
        return check();
    return inChild([&] {
        return ::setgroups(0, nullptr) == 0 && ::setgid(nobodyId) == 0 && ::setuid(nobodyId) == 0 &&
               check();
    });
}

// What `check` returns when it may take at most `bytes` more memory (it fails when it takes more).
bool withinMemory(rlim_t bytes, const std::function<bool()>& check) {
    return inChild([&] {
        const QList<QByteArray> statm =
            readWholeFile(QStringLiteral("/proc/self/statm")).split(' ');
        const rlim_t size = statm.front().toULongLong() * rlim_t(::sysconf(_SC_PAGESIZE));
        const rlimit limit{size + bytes, size + bytes};
        return ::setrlimit(RLIMIT_AS, &limit) == 0 && check();
    });
}

class IniFileTest : public ::testing::Test {
protected:
    QString path(const char* name = "set.lvx") const { return dir.filePath(name); }
    QString fileWith(const QByteArray& bytes, const char* name = "set.lvx") {
        EXPECT_TRUE(writeWholeFile(path(name), bytes));
        return path(name);
    }
    QTemporaryDir dir;
};

// The case, the file, the section and key, and the value (nullptr: missing, the default comes).
// Strings keep at most 199 bytes, cut on a character boundary.
const QByteArray kLong = QByteArray(196, 'a');
const std::tuple<const char*, QByteArray, const char*, const char*, QByteArray> kReads[] = {
    {"at most 199 bytes", "[S]\nK=" + kLong + "abcdef\n", "S", "K", kLong + "abc"},
    {"not within a character", "[S]\nK=" + kLong + "ab\xC3\xA9x\n", "S", "K", kLong + "ab"},
    {"a character ending at 199", "[S]\nK=" + kLong + "a\xC3\xA9x\n", "S", "K",
     kLong + "a\xC3\xA9"},
    {"not within four bytes", "[S]\nK=" + kLong + "\xF0\x9F\x98\x80!\n", "S", "K", kLong},
    {"missing section", "[Lumivex]\nPacketSize=100\n", "Session1", "PacketSize", nullptr},
    {"empty value", "[S]\nT=\n", "S", "T", ""},
    {"names without case or blanks", "  [ lumivex ]  \n  numsessions  =  3 4  \n", "Lumivex",
     "NumSessions", "3 4"},
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

TEST_F(IniFileTest, KeysReadFromFilesOfEveryShape) {
    for (const auto& [name, file, section, key, expected] : kReads) {
        SCOPED_TRACE(name);
        const IniFile ini(fileWith(file));
        EXPECT_EQ(std::pair(ini.hasKey(section, key), ini.readString(section, key, "default")),
                  std::pair(!expected.isNull(),
                            QString::fromUtf8(expected.isNull() ? "default" : expected)));
    }
}

TEST_F(IniFileTest, AbsentFileFolderOrFifoReadsAsEmptyWithoutHanging) {
    const QString fifo = path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& file : {dir.path(), fifo, path("absent.lvx")})
        EXPECT_EQ(IniFile(file).readInt("S", "K", 9), 9) << file.toStdString();
}

// The file before, the writes (section, key, value), the file after; one row per rule.
// clang-format off
const std::tuple<QByteArray, std::vector<std::array<const char*, 3>>, QByteArray> kEdits[] = {
    {"", {{"L", "MainLeft", "1000"}, {"S1", "Connector", "0"}, {"L", "P", ""}, {"S1", "D", "Ü 東"}},
     "[L]\nMainLeft=1000\nP=\n\n[S1]\nConnector=0\nD=Ü 東\n"},
    {"[A]\na=1\n\n\n; about B\n[B]\n; nothing yet\n\n[C]\n",
     {{"A", "b", "2"}, {"B", "x", "3"}, {"C", "y", "4"}},
     "[A]\na=1\nb=2\n\n\n; about B\n[B]\nx=3\n; nothing yet\n\n[C]\ny=4\n"},
    {"[A]\n  k =  1\nk=2\n[a]\nk=3\n", {{"A", "K", "9"}, {"A", "new", "1"}},
     "[A]\n  k =  9\nk=2\nnew=1\n[a]\nk=3\n"},
    {"[A]\na=1\n[B]\nb=2", {{"A", "c", "3"}, {"B", "d", "4"}}, "[A]\na=1\nc=3\n[B]\nb=2\nd=4\n"},
    {"\xEF\xBB\xBF[S]\r\nk=1\r\n", {{"S", "k", "2"}, {"S", "n", "3"}, {"T", "x", "1"}},
     "\xEF\xBB\xBF[S]\r\nk=2\r\nn=3\r\n\r\n[T]\r\nx=1\r\n"},
    {"", {{"A]B", "k", "1"}, {"S", "", "1"}, {"S", "a=b", "1"}, {"S", "[T]", "1"}, {"S", ";c", "1"},
          {"S\nT", "k", "1"}, {"S", "k\nl", "1"}}, ""},
    {"", {{"S", "Password", "a\r\nb\nc\r[Evil]"}, {"S", "After", "1"}},
     "[S]\nPassword=a  b c [Evil]\nAfter=1\n"},
    // The values read written back: CRLF, the key's own case, unknown lines, a byte that is not
    // UTF-8 (read as U+FFFD) and no last line end stay byte for byte.
    {"[lumivex]\r\nmainleft=1200\r\n; kept\r\nUnknown=keep\r\njust some text\r\n\r\n"
     "[Session1]\r\nSessionDescription=caf\xE9",
     {{"Lumivex", "MainLeft", "1200"}, {"Session1", "SessionDescription", "caf\uFFFD"}},
     "[lumivex]\r\nmainleft=1200\r\n; kept\r\nUnknown=keep\r\njust some text\r\n\r\n"
     "[Session1]\r\nSessionDescription=caf\xE9"},
};
// clang-format on

TEST_F(IniFileTest, EditsChangeOnlyWhatTheyMust) {
    for (const auto& [before, writes, after] : kEdits) {
        SCOPED_TRACE(after.toStdString());
        IniFile ini(fileWith(before));
        for (const auto& [section, key, value] : writes)
            ini.writeString(section, key, QString::fromUtf8(value));
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readWholeFile(path()), after);
    }
}

// A set file may hold a login and a command: private whatever it was.
TEST_F(IniFileTest, SavedFilesAreAlwaysPrivateAndKeepTheirOwner) {
    const QString shared = fileWith("[S]\nk=1\n");
    ASSERT_TRUE(chmodPath(shared, 0644));
    // Root saving a user's file (a service editing it) leaves it the user's own.
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(QFile::encodeName(shared).constData(), nobodyId, nobodyId) == 0);
    ASSERT_TRUE(saveChanged(shared));
    EXPECT_EQ(statOf(shared).st_mode & 07777, 0600u);
    EXPECT_EQ(statOf(shared).st_uid, root ? nobodyId : ::geteuid());
}

// 16 MiB of line feeds once took 1.8 GB; such a file is not read, not replaced, and never made.
TEST_F(IniFileTest, TooManyLinesAreRefusedWithinBoundedMemory) {
    const QString feeds = fileWith(QByteArray(16 * 1024 * 1024, '\n'));
    EXPECT_TRUE(
        withinMemory(256 * 1024 * 1024, [&] { return IniFile(feeds).readInt("S", "k", 7) == 7; }));
    EXPECT_FALSE(saveChanged(feeds));
    EXPECT_EQ(QFileInfo(feeds).size(), 16 * 1024 * 1024);

    IniFile huge(path("huge.lvx"));
    for (int i = 0; i < 70000; ++i)
        huge.writeInt("S", QStringLiteral("k%1").arg(i), i);
    EXPECT_FALSE(huge.save());
    EXPECT_FALSE(QFile::exists(path("huge.lvx")));
}

// A link another user made chooses what a write through it would change: root refuses it.
TEST_F(IniFileTest, AnotherUsersLinkIsNotWrittenThrough) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a link away";
    const QString target = fileWith("[S]\nk=1\n", "target.lvx");
    ASSERT_TRUE(QFile::link(target, path("link.lvx")));
    ASSERT_EQ(::lchown(QFile::encodeName(path("link.lvx")).constData(), nobodyId, nobodyId), 0);
    EXPECT_FALSE(saveChanged(path("link.lvx")));
    EXPECT_EQ(readWholeFile(target), "[S]\nk=1\n");
}

// The longest name a folder takes: a temporary file beside it must not need a longer one.
TEST_F(IniFileTest, LongestNameIsWrittenThroughALinkAndNoTemporaryFileStays) {
    const QString name = QString(255 - 4, QLatin1Char('n')) + QStringLiteral(".lvx");
    ASSERT_TRUE(writeWholeFile(dir.filePath(name), "[S]\nk=1\n"));
    ASSERT_TRUE(QFile::link(dir.filePath(name), path("link.lvx")));
    ASSERT_TRUE(saveChanged(path("link.lvx")));
    EXPECT_TRUE(QFileInfo(path("link.lvx")).isSymLink());
    EXPECT_EQ(readWholeFile(dir.filePath(name)), "[S]\nk=2\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("link.lvx"), name}));
}

// Saves that fail leave the old file: a path under a file, a folder, no name, a file that could
// not be read (a fifo); a read-only folder or file as an ordinary user (root ignores modes).
TEST_F(IniFileTest, UnwritablePlacesFailAndLeaveTheOldFile) {
    ASSERT_TRUE(chmodPath(dir.path(), 0777) && QDir(dir.path()).mkdir(QStringLiteral("ro")) &&
                QDir(dir.path()).mkdir(QStringLiteral("folder.lvx")));
    const QString inReadOnlyFolder = fileWith("[S]\nk=1\n", "ro/set.lvx");
    ASSERT_TRUE(chmodPath(inReadOnlyFolder, 0666) && chmodPath(path("ro"), 0555));
    const QString readOnlyFile = fileWith("[S]\nk=1\n");
    ASSERT_TRUE(chmodPath(readOnlyFile, 0444));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.lvx")).constData(), 0600), 0);
    for (const QString& file : {readOnlyFile + QStringLiteral("/inner.lvx"), path("folder.lvx"),
                                QString(), path("fifo.lvx")})
        EXPECT_FALSE(saveChanged(file)) << file.toStdString();
    EXPECT_TRUE(QFileInfo(path("folder.lvx")).isDir());
    EXPECT_TRUE(S_ISFIFO(statOf(path("fifo.lvx")).st_mode));
    for (const QString& file : {inReadOnlyFolder, readOnlyFile}) {
        EXPECT_TRUE(withoutRoot([&file] {
            return IniFile(file).readInt("S", "k", 0) == 1 && !saveChanged(file);
        })) << file.toStdString();
        EXPECT_EQ(readWholeFile(file), "[S]\nk=1\n");
    }
    // The same places as writable, so the checks above are known to reach save().
    EXPECT_TRUE(withoutRoot([this] { return saveChanged(path("writable.lvx")); }));
    chmodPath(path("ro"), 0755);
}

} // namespace
