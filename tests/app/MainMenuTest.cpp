#include "tests/app/MainFixture.h"

namespace {

class MainMenuTest : public MainFixture {
protected:
    MainMenuTest() { main = started(); }
    QString file(const char* name) const { return home.path(QString::fromLatin1(name)); }

    std::unique_ptr<frmMain> main;
};

TEST_F(MainMenuTest, CloseClosesTheActiveSessionWindowNotTheLast) {
    main->mnuFileNew->click();
    ASSERT_EQ(main->documents().size(), 2u);
    frmDocument* second = main->documents()[1];
    main->setActiveDocument(main->documents()[0]);
    main->mnuFileClose->click();
    EXPECT_EQ(main->documents(), std::vector<frmDocument*>{second});
}

TEST_F(MainMenuTest, SaveAsksForANameOnceAndOpenChangesWhereSavesGo) {
    main->mnuFileSaveAs->click(); // cancelled, as is the next one
    main->mnuFileOpen->click();
    EXPECT_EQ(
        std::tuple(main->CurrentFileName, main->documents().size(), QFile::exists(defaultFile())),
        std::tuple(QString(), 1u, false));
    ASSERT_TRUE(writeWholeFile(file("bench.lvx"), "[Lumivex]\nNumSessions=7\n"));
    host.fileAnswers = {file("bench.lvx")};
    main->mnuFileSave->click(); // over an existing file, without asking
    ASSERT_EQ(host.fileRequests.size(), 3u);
    EXPECT_EQ(host.fileRequests[2].mode, FileDialogRequest::Mode::Save);
    EXPECT_TRUE(readWholeFile(file("bench.lvx")).contains("NumSessions=1"));
    main->mnuFileSave->click();
    EXPECT_EQ(host.fileRequests.size(), 3u); // named now: no second question

    ASSERT_TRUE(writeWholeFile(file("plant.lvx"), "[Lumivex]\nNumSessions=2\n[Session1]\n"
                                                  "SessionDescription=Scale\n[Session2]\n"));
    host.fileAnswers = {file("plant.lvx")};
    main->mnuFileOpen->click();
    EXPECT_TRUE(host.fileRequests.at(3).fileMustExist);
    ASSERT_EQ(main->documents().size(), 2u);
    EXPECT_EQ(main->documents()[0]->caption(), QStringLiteral("Scale"));
    main->documents()[1]->PortNumber->setText(QStringLiteral("4001"));
    main->mnuFileSave->click();
    EXPECT_EQ(host.fileRequests.size(), 4u); // no more questions
    EXPECT_TRUE(readWholeFile(file("plant.lvx")).contains("PortNumber=4001"));
}

} // namespace
