#include "app/ExitSignals.h"
#include "model/GlobalSettings.h"
#include "platform/ComPortNames.h"
#include "platform/linux/PortMarker.h"
#include "session/ErrorLog.h"
#include "tests/app/MainFixture.h"

#include <QDir>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <csignal>

namespace {

class StartupTest : public MainFixture {};

TEST_F(StartupTest, MarkedSessionsActivateInOrderBeforeTheWindowShows) {
    // Virtual port servers on any free port: sessions that really become active.
    const char* session = "Connector=%1\nCreateVirtualPort=1\nTCPOption=1\nPortNumber=0\n"
                          "LocalIP=127.0.0.1\nAutoActivate=%2\n";
    QString file = QStringLiteral("[Lumivex]\nNumSessions=3\n");
    for (int n = 1; n <= 3; ++n)
        file += QStringLiteral("[Session%1]\n").arg(n) +
                QString::fromLatin1(session).arg(40 + n).arg(n == 2 ? 0 : 1);
    ASSERT_TRUE(writeWholeFile(defaultFile(), file.toUtf8()));
    auto main = makeMain();
    std::vector<int> activated;
    bool shownBeforeActivation = false;
    QObject::connect(main.get(), &frmMain::documentAdded, [&](frmDocument* doc) {
        const int number = static_cast<int>(main->documents().size());
        QObject::connect(doc->Command1, &CaptionControl::captionChanged, [&, doc, number] {
            if (!doc->isActive())
                return;
            activated.push_back(number);
            shownBeforeActivation |= main->isShown();
        });
    });
    QSignalSpy shown(main.get(), &frmMain::showRequested);
    main->MDIForm_Load();
    EXPECT_TRUE(main->Timer1.isActive());
    main->Timer1_Timer();
    EXPECT_EQ(activated, (std::vector<int>{1, 3}));
    EXPECT_FALSE(shownBeforeActivation);
    EXPECT_EQ(shown.count(), 1);
    EXPECT_TRUE(main->StartupDone);
    EXPECT_FALSE(main->Timer1.isActive());
    EXPECT_TRUE(QFileInfo(comLinkPath(41)).isSymLink());
    // Start-up runs once; a later tick does nothing.
    main->Timer1_Timer();
    EXPECT_EQ(activated.size(), 2u);
    EXPECT_EQ(shown.count(), 1);
    // The sessions that were active are saved as such, and their ports go with the program.
    main->mnuFileExit->click();
    const QByteArray saved = readWholeFile(defaultFile());
    EXPECT_TRUE(saved.contains("[Session1]"));
    EXPECT_EQ(saved.count("AutoActivate=1"), 2) << saved.constData();
    EXPECT_FALSE(QFileInfo::exists(comLinkPath(41)) || QFileInfo(comLinkPath(41)).isSymLink());
}

TEST_F(StartupTest, NoFileGivesOneSessionAndExitCreatesTheDefaultFile) {
    auto main = makeMain();
    QSignalSpy ended(main.get(), &frmMain::ended);
    main->Timer1_Timer();
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0]->caption(), QStringLiteral("New - RS232 to TCP/IP"));
    EXPECT_FALSE(QFile::exists(defaultFile()));
    main->mnuFileExit->click();
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(main->documents().empty());
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("NumSessions=1\n"));
}

TEST_F(StartupTest, ANamedFileIsReadButTheExitSavesToTheDefaultFile) {
    ASSERT_TRUE(writeWholeFile(home.path(QStringLiteral("plant.lvx")),
                               "[Lumivex]\nNumSessions=2\n[Session2]\nConnector=7\n"));
    // A relative name resolves against the folder the program was started in.
    auto main = makeMain(QStringLiteral("plant.lvx"));
    main->Timer1_Timer();
    ASSERT_EQ(main->documents().size(), 2u);
    EXPECT_EQ(main->documents()[1]->Combo2->text(), QStringLiteral("COM7"));
    EXPECT_TRUE(main->CurrentFileName.isEmpty());
    main->unloadMainWindow();
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("Connector=7\n"));
    EXPECT_EQ(readWholeFile(home.path(QStringLiteral("plant.lvx"))),
              "[Lumivex]\nNumSessions=2\n[Session2]\nConnector=7\n");
}

TEST_F(StartupTest, AServiceSwitchActsAndEndsWithoutTouchingAnything) {
    tray.available = true;
    serviceResult = false;
    auto main = makeMain(QStringLiteral(" -ihs "));
    QSignalSpy ended(main.get(), &frmMain::ended);
    main->Timer1_Timer();
    ASSERT_EQ(serviceCommands.size(), 1u);
    EXPECT_EQ(serviceCommands[0].action, StartupCommand::Action::InstallHidden);
    EXPECT_TRUE(serviceCommands[0].silent);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toInt(), 1); // a failed switch action ends with 1
    EXPECT_FALSE(tray.shown);
    EXPECT_TRUE(main->documents().empty());
    EXPECT_FALSE(main->isShown());
    main->unloadMainWindow(); // the program has ended: nothing is saved
    EXPECT_FALSE(QFile::exists(defaultFile()));
}

TEST_F(StartupTest, TrayIconIsAddedOnlyWhereATrayExistsAndRemovedAtExit) {
    auto without = makeMain();
    without->Timer1_Timer();
    EXPECT_EQ(without->TrayIconAdded, 0);
    without->unloadMainWindow();
    EXPECT_EQ(tray.removals, 0);

    tray.available = true;
    auto with = makeMain();
    with->Timer1_Timer();
    EXPECT_EQ(with->TrayIconAdded, 1);
    with->unloadMainWindow();
    EXPECT_EQ(tray.removals, 1);
}

TEST_F(StartupTest, ExitWhileActiveSavesTheSessionAsActive) {
    auto main = makeMain();
    main->Timer1_Timer();
    // Activation proper belongs to the session engine; the saved mark follows the button.
    main->documents()[0]->Command1->setCaption(QStringLiteral("De-Activate"));
    main->unloadMainWindow();
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("AutoActivate=1\n"));
}

// A virtual port link left behind by an instance that crashed.
void leaveStaleVirtualPort(int n) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0); // the owner is gone
    QDir().mkpath(QFileInfo(comLinkPath(n)).absolutePath());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/4242"), comLinkPath(n)));
    ASSERT_TRUE((PortMarker{child, 0, QStringLiteral("/dev/pts/4242")}.write(comMarkerPath(n))));
}

TEST_F(StartupTest, OnlyTheFirstInstanceClearsStaleVirtualPorts) {
    leaveStaleVirtualPort(9);
    anotherInstance = true;
    makeMain()->Timer1_Timer();
    EXPECT_TRUE(QFileInfo(comLinkPath(9)).isSymLink());

    anotherInstance = false;
    makeMain()->Timer1_Timer();
    EXPECT_FALSE(QFileInfo(comLinkPath(9)).isSymLink());
    EXPECT_FALSE(QFile::exists(comMarkerPath(9)));
}

TEST_F(StartupTest, TerminationSignalsRunTheNormalExit) {
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        auto main = makeMain();
        ExitSignals exitSignals;
        QObject::connect(&exitSignals, &ExitSignals::exitRequested, main.get(),
                         &frmMain::unloadMainWindow);
        QSignalSpy ended(main.get(), &frmMain::ended);
        main->Timer1_Timer();
        const QString port = QString::number(4000 + number);
        main->documents()[0]->PortNumber->setText(port);
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(waitUntil([&] { return ended.count() > 0; })) << number;
        EXPECT_EQ(ended.at(0).at(0).toInt(), 0);
        EXPECT_TRUE(readWholeFile(defaultFile()).contains("PortNumber=" + port.toUtf8() + "\n"));
    }
}

TEST_F(StartupTest, ASignalBeforeTheSetIsReadDoesNotOverwriteIt) {
    const QByteArray stored = "[Lumivex]\nNumSessions=2\n";
    ASSERT_TRUE(writeWholeFile(defaultFile(), stored));
    auto main = makeMain();
    main->MDIForm_Load();
    main->unloadMainWindow();
    EXPECT_EQ(readWholeFile(defaultFile()), stored);
}

// The exit signal arrives while a message box of the set-file reading is open: the session
// that shows it must outlive the box, and goes once the box has returned.
TEST_F(StartupTest, ASessionClosedInsideItsOwnMessageBoxOutlivesTheBox) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nNumSessions=1\n"
                                              "[Session1]\nPortNumber=70000\n"));
    auto main = makeMain();
    QPointer<frmDocument> first;
    QObject::connect(main.get(), &frmMain::documentAdded, [&](frmDocument* doc) { first = doc; });
    bool aliveAfterBox = false;
    host.onMessage = [&] {
        QEventLoop box; // the message box's own event loop
        QTimer::singleShot(0, &box, [&] {
            main->unloadMainWindow();
            // Whatever the box's loop would do next, a deferred delete included.
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            box.quit();
        });
        box.exec();
        aliveAfterBox = !first.isNull();
    };
    QEventLoop program; // the application's event loop, as the start-up tick runs in it
    QTimer::singleShot(0, &program, [&] {
        main->Timer1_Timer();
        program.quit();
    });
    program.exec();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(aliveAfterBox);
    // The exit runs once control is back in the program's own loop.
    EXPECT_TRUE(waitUntil([&] { return main->documents().empty() && first.isNull(); }));
}

TEST_F(StartupTest, ARelativeDataFolderKeepsTheUsersSet) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nNumSessions=2\n"));
    const QString started = QDir::currentPath();
    QDir::setCurrent(home.path());
    ScopedEnv relative("LUMIVEX_HOME", "home");
    auto main = makeMain();
    main->Timer1_Timer();
    EXPECT_EQ(main->documents().size(), 2u);
    main->NewSession();
    main->unloadMainWindow();
    QDir::setCurrent(started);
    EXPECT_TRUE(readWholeFile(defaultFile()).contains("NumSessions=3\n"));
}

TEST_F(StartupTest, ASaveThatCannotBeWrittenSaysSo) {
    auto main = makeMain();
    main->Timer1_Timer();
    ASSERT_TRUE(QDir().mkpath(defaultFile())); // a folder where the set file belongs
    globals().LogErrors = 1;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(main->writeprofilesettings({}));
    const std::string said = ::testing::internal::GetCapturedStderr();
    globals().LogErrors = 0;
    EXPECT_NE(said.find("cannot write the set file " + defaultFile().toStdString()),
              std::string::npos)
        << said;
    EXPECT_TRUE(readWholeFile(ErrorLog::path()).contains("cannot write the set file"));
}

// Each save renews the autostart entry or removes it, as the option says.
TEST_F(StartupTest, EverySaveWritesOrRemovesTheAutostartEntry) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nLoadWithWindows=1\n"));
    const QString entry = home.path(QStringLiteral("config/autostart/Lumivex.desktop"));
    auto main = makeMain();
    main->Timer1_Timer();
    ASSERT_TRUE(main->writeprofilesettings({}));
    EXPECT_TRUE(readWholeFile(entry).contains("Exec=\"" + QFile::encodeName(main->ExePath)));
    globals().LoadWithWindows = 0;
    ASSERT_TRUE(main->writeprofilesettings({}));
    EXPECT_FALSE(QFile::exists(entry));
}

} // namespace
