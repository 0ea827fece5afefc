// The main window's menu commands on the model, with a scripted host and real files.

#include "model/GlobalSettings.h"
#include "tests/app/MainFixture.h"

#include <QSignalSpy>
#include <QUrl>

namespace {

class MainMenuTest : public MainFixture {
protected:
    MainMenuTest() {
        globals() = GlobalSettings{};
        main = makeMain();
        main->Timer1_Timer();
    }
    QString file(const char* name) const { return home.path(QString::fromLatin1(name)); }

    std::unique_ptr<frmMain> main;
};

TEST_F(MainMenuTest, CloseIsOfferedOnlyWhileASessionWindowIsThere) {
    main->mnuFile->click();
    EXPECT_TRUE(main->mnuFileClose->enabled());
    main->mnuFileNew->click();
    ASSERT_EQ(main->documents().size(), 2u);
    // Close closes the active window, not the last one.
    frmDocument* first = main->documents()[0];
    frmDocument* second = main->documents()[1];
    main->setActiveDocument(first);
    main->mnuFileClose->click();
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0], second);
    main->mnuFileClose->click();
    EXPECT_TRUE(main->documents().empty());
    main->mnuFile->click();
    EXPECT_FALSE(main->mnuFileClose->enabled());
    main->mnuFileClose->click(); // nothing to close, nothing happens
    main->mnuFileNew->click();
    main->mnuFile->click();
    EXPECT_TRUE(main->mnuFileClose->enabled());
}

TEST_F(MainMenuTest, SaveBeforeAnyOpenAsksForANameThenSavesSilently) {
    host.fileAnswers = {file("bench.lvx")};
    main->mnuFileSave->click();
    ASSERT_EQ(host.fileRequests.size(), 1u);
    const FileDialogRequest& request = host.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(request.filter, QStringLiteral("Lumivex Files (*.LVX)|*.lvx|All Files (*.*)|*.*"));
    EXPECT_EQ(request.defaultExtension, QStringLiteral("lvx"));
    EXPECT_EQ(main->CurrentFileName, file("bench.lvx"));
    EXPECT_TRUE(readWholeFile(file("bench.lvx")).contains("NumSessions=1"));

    main->mnuFileNew->click();
    main->mnuFileSave->click();
    EXPECT_EQ(host.fileRequests.size(), 1u); // no second question
    EXPECT_TRUE(readWholeFile(file("bench.lvx")).contains("NumSessions=2"));
}

TEST_F(MainMenuTest, SaveAsOverwritesAnExistingFileWithoutAsking) {
    ASSERT_TRUE(writeWholeFile(file("old.lvx"), "[Lumivex]\nNumSessions=7\n"));
    host.fileAnswers = {file("old.lvx")};
    main->mnuFileSaveAs->click();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(readWholeFile(file("old.lvx")).contains("NumSessions=1"));
}

TEST_F(MainMenuTest, CancelledFileDialogsChangeNothing) {
    main->mnuFileSaveAs->click();
    main->mnuFileOpen->click();
    EXPECT_EQ(host.fileRequests.size(), 2u);
    EXPECT_TRUE(main->CurrentFileName.isEmpty());
    EXPECT_EQ(main->documents().size(), 1u);
    EXPECT_FALSE(QFile::exists(defaultFile()));
}

TEST_F(MainMenuTest, OpenReadsTheFileAndLaterSavesGoThere) {
    ASSERT_TRUE(writeWholeFile(file("plant.lvx"), "[Lumivex]\nNumSessions=2\n[Session1]\n"
                                                  "SessionDescription=Scale\n[Session2]\n"));
    host.fileAnswers = {file("plant.lvx")};
    main->mnuFileOpen->click();
    ASSERT_EQ(host.fileRequests.size(), 1u);
    EXPECT_EQ(host.fileRequests[0].mode, FileDialogRequest::Mode::Open);
    EXPECT_TRUE(host.fileRequests[0].fileMustExist);
    ASSERT_EQ(main->documents().size(), 2u);
    EXPECT_EQ(main->documents()[0]->caption(), QStringLiteral("Scale"));
    EXPECT_EQ(main->CurrentFileName, file("plant.lvx"));

    main->documents()[1]->PortNumber->setText(QStringLiteral("4001"));
    main->mnuFileSave->click();
    EXPECT_EQ(host.fileRequests.size(), 1u);
    EXPECT_TRUE(readWholeFile(file("plant.lvx")).contains("PortNumber=4001"));
}

TEST_F(MainMenuTest, HelpOpensTheStartPageOrBeeps) {
    auto withHelp = [this](const QString& index) {
        MainServices services{host, tray};
        services.helpFile = [index] {
            return index;
        };
        auto helped = std::make_unique<frmMain>(services);
        helped->mnuHelpContents->click();
    };
    withHelp(QString());
    EXPECT_EQ(host.beeps, 1);
    EXPECT_TRUE(host.openedUrls.isEmpty());
    withHelp(file("help/index.html"));
    EXPECT_EQ(host.beeps, 1);
    ASSERT_EQ(host.openedUrls.size(), 1);
    EXPECT_EQ(QUrl(host.openedUrls[0]).toLocalFile(), file("help/index.html"));
}

TEST_F(MainMenuTest, WebPageToolsAndArrangements) {
    main->mnuOrvane->click();
    ASSERT_EQ(host.openedUrls.size(), 1);
    EXPECT_TRUE(host.openedUrls[0].startsWith(QStringLiteral("https://")));

    // Unconnected tools do nothing; connected ones open.
    main->mPingTool->click();
    main->mResolve->click();
    int ping = 0;
    int resolve = 0;
    MainServices services{host, tray};
    services.showPingTool = [&] {
        ++ping;
    };
    services.showResolveTool = [&] {
        ++resolve;
    };
    frmMain tooled(services);
    tooled.mPingTool->click();
    tooled.mResolve->click();
    tooled.mResolve->click();
    EXPECT_EQ(ping, 1);
    EXPECT_EQ(resolve, 2);

    QSignalSpy arranged(main.get(), &frmMain::arrangeRequested);
    for (MenuEntry* entry : {main->mnuWindowCascade, main->mnuWindowTileHorizontal,
                             main->mnuWindowTileVertical, main->mnuWindowArrangeIcons})
        entry->click();
    ASSERT_EQ(arranged.count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(arranged.at(i).at(0).toInt(), i);
}

TEST_F(MainMenuTest, AboutShowsModallyAndExitClosesIt) {
    QStringList shown;
    host.onModal = [&](Form& dialog) {
        shown << dialog.name();
        // Exit from inside the about box (as the tray menu could) closes it first.
        if (dialog.name() == QStringLiteral("frmAbout"))
            main->mnuFileExit->click();
        EXPECT_TRUE(dialog.isUnloaded());
    };
    QSignalSpy ended(main.get(), &frmMain::ended);
    main->mnuAbout->click();
    EXPECT_EQ(shown, QStringList{QStringLiteral("frmAbout")});
    EXPECT_EQ(ended.count(), 1);
}

} // namespace
