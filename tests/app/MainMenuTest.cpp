// The main window's menu commands on the model, with a scripted host and real files.

#include "model/GlobalSettings.h"
#include "tests/app/MainFixture.h"

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

// Whether Close is offered is checked on the menus' view.
TEST_F(MainMenuTest, CloseClosesTheActiveSessionWindow) {
    main->mnuFileNew->click();
    ASSERT_EQ(main->documents().size(), 2u);
    // Close closes the active window, not the last one.
    frmDocument* first = main->documents()[0];
    frmDocument* second = main->documents()[1];
    main->setActiveDocument(first);
    main->mnuFileClose->click();
    ASSERT_EQ(main->documents().size(), 1u);
    EXPECT_EQ(main->documents()[0], second);
}

TEST_F(MainMenuTest, SaveBeforeAnyOpenAsksForANameThenSavesSilently) {
    // Over an existing file, without asking.
    ASSERT_TRUE(writeWholeFile(file("bench.lvx"), "[Lumivex]\nNumSessions=7\n"));
    host.fileAnswers = {file("bench.lvx")};
    main->mnuFileSave->click();
    ASSERT_EQ(host.fileRequests.size(), 1u);
    EXPECT_EQ(host.fileRequests[0].mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(main->CurrentFileName, file("bench.lvx"));
    EXPECT_TRUE(readWholeFile(file("bench.lvx")).contains("NumSessions=1"));

    main->mnuFileNew->click();
    main->mnuFileSave->click();
    EXPECT_EQ(host.fileRequests.size(), 1u); // no second question
    EXPECT_TRUE(readWholeFile(file("bench.lvx")).contains("NumSessions=2"));
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
    EXPECT_TRUE(host.fileRequests.at(0).fileMustExist);
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
    withHelp(file("help/index.html"));
    EXPECT_EQ(host.beeps, 1);
    ASSERT_EQ(host.openedUrls.size(), 1);
    EXPECT_EQ(QUrl(host.openedUrls[0]).toLocalFile(), file("help/index.html"));
}

} // namespace
