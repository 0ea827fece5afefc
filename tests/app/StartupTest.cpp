#include "platform/ComPortNames.h"
#include "platform/linux/PortMarker.h"
#include "platform/linux/UniqueFd.h"
#include "session/ErrorLog.h"
#include "tests/app/MainFixture.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using StartupTest = MainFixture;

TEST_F(StartupTest, MarkedSessionsActivateBeforeTheWindowShows) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nNumSessions=2\n[Session1]\nConnector=41\n"
                                              "[Session2]\nConnector=42\nCreateVirtualPort=1\n"
                                              "TCPOption=1\nPortNumber=0\nLocalIP=127.0.0.1\n"
                                              "AutoActivate=1\n"));
    auto main = makeMain();
    std::vector<bool> activeWhenShown;
    QObject::connect(main.get(), &frmMain::showRequested, [&] {
        for (frmDocument* doc : main->documents())
            activeWhenShown.push_back(doc->isActive());
    });
    main->MDIForm_Load();
    main->Timer1_Timer();
    main->Timer1_Timer(); // start-up runs once; a later tick does nothing
    EXPECT_EQ(activeWhenShown, (std::vector<bool>{false, true}));
    main->mnuFileExit->click(); // the sessions that were active are saved as such
    EXPECT_EQ(readWholeFile(defaultFile()).count("AutoActivate=1"), 1);
}

TEST_F(StartupTest, AnExitBeforeTheSetIsReadDoesNotOverwriteIt) {
    const QByteArray stored = "[Lumivex]\nNumSessions=2\n";
    ASSERT_TRUE(writeWholeFile(defaultFile(), stored));
    auto main = makeMain();
    main->MDIForm_Load();
    main->unloadMainWindow();
    EXPECT_EQ(readWholeFile(defaultFile()), stored);
}

TEST_F(StartupTest, ANamedFileIsReadButTheExitSavesToTheDefaultFile) {
    const QByteArray plant = "[Lumivex]\nNumSessions=2\n[Session2]\nConnector=7\n";
    ASSERT_TRUE(writeWholeFile(home.path(QStringLiteral("plant.lvx")), plant));
    tray.available = true;
    // A relative name resolves against the folder the program was started in.
    auto main = started(QStringLiteral("plant.lvx"));
    ASSERT_EQ(main->documents().size(), 2u);
    EXPECT_EQ(main->documents()[1]->Combo2->text(), QStringLiteral("COM7"));
    EXPECT_EQ(main->TrayIconAdded, 1);
    main->unloadMainWindow();
    EXPECT_EQ(tray.removals, 1);
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("Connector=7\n"));
    EXPECT_EQ(readWholeFile(home.path(QStringLiteral("plant.lvx"))), plant);
}

TEST_F(StartupTest, OnlyTheFirstInstanceClearsStaleVirtualPorts) {
    // A virtual port link left behind by an instance that crashed.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0); // the owner is gone
    ASSERT_TRUE(QDir().mkpath(QFileInfo(comLinkPath(9)).absolutePath()) &&
                QFile::link(QStringLiteral("/dev/pts/4242"), comLinkPath(9)));
    ASSERT_TRUE((PortMarker{child, 0, QStringLiteral("/dev/pts/4242")}.write(comMarkerPath(9))));

    anotherInstance = true;
    started();
    EXPECT_TRUE(QFileInfo(comLinkPath(9)).isSymLink());
    anotherInstance = false;
    started();
    EXPECT_FALSE(QFileInfo(comLinkPath(9)).isSymLink());
    EXPECT_FALSE(QFile::exists(comMarkerPath(9)));
}

TEST_F(StartupTest, ARelativeDataFolderKeepsTheUsersSet) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nNumSessions=2\n"));
    const QString startedIn = QDir::currentPath();
    QDir::setCurrent(home.path());
    ScopedEnv relative("LUMIVEX_HOME", "home");
    auto main = started();
    EXPECT_EQ(main->documents().size(), 2u);
    main->NewSession();
    main->unloadMainWindow();
    QDir::setCurrent(startedIn);
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("NumSessions=3\n"));
}

TEST_F(StartupTest, SavesKeepTheAutostartEntryAndReportFailure) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nLoadWithWindows=1\n"));
    const QString entry = home.path(QStringLiteral("config/autostart/Lumivex.desktop"));
    auto main = started();
    ASSERT_TRUE(main->writeprofilesettings({}));
    EXPECT_TRUE(readWholeFile(entry).contains("Exec=\"" + QFile::encodeName(main->ExePath)));
    globals().LoadWithWindows = 0;
    ASSERT_TRUE(main->writeprofilesettings({}));
    EXPECT_FALSE(QFile::exists(entry));

    ASSERT_TRUE(QFile::remove(defaultFile()) && QDir().mkpath(defaultFile()));
    globals().LogErrors = 1;
    EXPECT_FALSE(main->writeprofilesettings({}));
    globals().LogErrors = 0;
    EXPECT_TRUE(readWholeFile(ErrorLog::path())
                    .contains("cannot write the set file " + QFile::encodeName(defaultFile())));
}

// A save the disk refuses, full and then read-only (a small disk of the test's own, which
// test_shell_small_disk mounts), leaves the old set file whole and says why: in a message box
// for the user's save, on stderr (the log is on that disk too) for the exit's.
TEST_F(StartupTest, ASaveTheDiskRefusesKeepsTheOldFileAndSaysWhy) {
    const QByteArray disk = qgetenv("LUMIVEX_SMALL_DISK");
    if (disk.isEmpty())
        GTEST_SKIP() << "for the run on a small disk of its own";
    const QByteArray stored = "[Lumivex]\nNumSessions=1\n";
    ASSERT_TRUE(writeWholeFile(defaultFile(), stored));
    auto main = started();
    main->NewSession();
    {
        const UniqueFd filler(::open(QFile::encodeName(home.path(QStringLiteral("filler"))),
                                     O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        const QByteArray block(4096, 'x');
        while (::write(filler.get(), block.constData(), size_t(block.size())) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
    }
    EXPECT_FALSE(main->writeprofilesettings(defaultFile()));
    EXPECT_EQ(readWholeFile(defaultFile()), stored);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_TRUE(host.messages.back().text.endsWith(
        QStringLiteral(": No space left on device; the file is as it was")))
        << host.messages.back().text.toStdString();

    ASSERT_TRUE(QFile::remove(home.path(QStringLiteral("filler"))));
    ASSERT_EQ(::mount(nullptr, disk.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    testing::internal::CaptureStderr();
    main->unloadMainWindow();
    const std::string said = testing::internal::GetCapturedStderr();
    ::mount(nullptr, disk.constData(), nullptr, MS_REMOUNT, nullptr);
    EXPECT_NE(said.find("default.lvx: Read-only file system; the file is as it was"),
              std::string::npos)
        << said;
    EXPECT_EQ(readWholeFile(defaultFile()), stored);
}

// Another user could plant sessions or links in a folder they may write: such a data folder is
// not used, and in the user's own one a link at the set file's name is replaced, not followed.
TEST_F(StartupTest, ADataFolderOthersMayWriteIsNotUsedAndNoLinkInItIsFollowed) {
    const QByteArray stored = "[Lumivex]\nNumSessions=2\n";
    ASSERT_TRUE(writeWholeFile(defaultFile(), stored));
    const QByteArray folder = QFile::encodeName(home.path(QStringLiteral("home")));
    ASSERT_EQ(::chmod(folder.constData(), 0777), 0);
    auto main = started();
    EXPECT_EQ(main->documents().size(), 1u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].text.contains(QStringLiteral("is open to other users")));
    EXPECT_FALSE(main->writeprofilesettings({}));
    EXPECT_EQ(readWholeFile(defaultFile()), stored);

    ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    const QString elsewhere = home.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(writeWholeFile(elsewhere, "kept") && QFile::remove(defaultFile()) &&
                QFile::link(elsewhere, defaultFile()));
    EXPECT_TRUE(main->writeprofilesettings({}));
    EXPECT_EQ(readWholeFile(elsewhere), "kept");
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("NumSessions=1\n"));
}

} // namespace
