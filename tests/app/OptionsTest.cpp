#include "app/HelpFiles.h"
#include "app/frmAbout.h"
#include "app/frmOptions.h"
#include "model/GlobalSettings.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class OptionsTest : public ::testing::Test {
protected:
    OptionsTest() { globals() = GlobalSettings{}; }
    IsolatedHome home;
    ScriptedHost host;
};

// Each row starts from the one before; Val's own table covers how text reads as a number.
TEST_F(OptionsTest, PacketSizeOutOfRangeBecomes2000AndIsRoundedToEven) {
    const std::pair<const char*, int> rows[] = {
        {"1", 1},        {"0", 2000}, {"10000", 10000},
        {"10001", 2000}, {"2.5", 2},  {"99999999999999999999", 2000},
        {"3.5", 4},
    };
    for (const auto& [typed, stored] : rows) {
        frmOptions dialog(host);
        dialog.Combo1->setText(QString::fromLatin1(typed));
        dialog.Command2->click();
        EXPECT_EQ(std::pair(dialog.isUnloaded(), globals().PacketSize), std::pair(true, stored))
            << typed;
    }
}

TEST_F(OptionsTest, LoadShowsTheSettingsCancelKeepsThemAndOkStoresWhatWasChanged) {
    GlobalSettings& g = globals();
    const QString command = QStringLiteral("/usr/bin/logger \"bridge down\"");
    g.OnErrorRunApp = command;
    g.LogErrors = 1;
    g.PacketSize = 1460;
    g.PingFrequency = 40; // beyond the list: kept unless another one is picked
    const auto numbers = [&g] {
        return QList<int>({g.LogErrors, g.PacketSize, g.PingEnabled, g.PingFrequency, g.PingTimeout,
                           g.LoadWithWindows});
    };
    const QList<int> before = numbers();
    for (const bool ok : {false, true}) {
        frmOptions dialog(host);
        EXPECT_EQ(QStringList({dialog.Text1->text(), dialog.Combo1->text(), dialog.Combo3->text()}),
                  QStringList({command, "1460", "1000 ms"}));
        EXPECT_EQ(std::pair(dialog.Check1->value(), dialog.Combo2->listIndex()), std::pair(1, -1));
        host.fileAnswers = {QStringLiteral(" /opt/alarm ")};
        dialog.Command1->click(); // browse
        dialog.Command1->click(); // browsing again, cancelled: the text stays
        dialog.Check1->setValue(0);
        dialog.Combo1->setListIndex(6);
        dialog.Check2->setValue(1);
        dialog.Combo3->setListIndex(19);
        dialog.chkLoadWithWindows->setValue(1);
        (ok ? dialog.Command2 : dialog.Command3)->click();
        EXPECT_TRUE(dialog.isUnloaded());
        EXPECT_EQ(numbers(), ok ? QList<int>({0, 4000, 1, 40, 19, 1}) : before);
        EXPECT_EQ(g.OnErrorRunApp, ok ? QStringLiteral(" /opt/alarm ") : command); // as typed
    }
}

// The pages beside the program come first, then the installed ones.
TEST(HelpFiles, TheFirstFolderHoldingAnIndexWins) {
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("prefix/bin"));
    const QString folders[] = {dir.filePath(QStringLiteral("prefix/share/doc/lumivex/html")),
                               bin + QStringLiteral("/help")};
    for (const QString& folder : folders)
        QDir().mkpath(folder);
    EXPECT_EQ(findHelpFolder(bin), QString());
    for (const QString& folder : folders) {
        ASSERT_TRUE(writeWholeFile(folder + QStringLiteral("/index.html"), "<html></html>"));
        EXPECT_EQ(findHelpFolder(bin), folder);
    }
}

TEST_F(OptionsTest, AboutBoxStartsTheSystemInformationToolWhenThereIsOne) {
    const QString marker = home.path(QStringLiteral("started")),
                  tool = home.path(QStringLiteral("bin/hardinfo"));
    const ScopedEnv path("PATH", QFile::encodeName(home.path(QStringLiteral("bin"))));
    EXPECT_FALSE(frmAbout(host).cmdSysInfo->enabled());
    ASSERT_TRUE(QDir().mkpath(home.path(QStringLiteral("bin"))) &&
                writeWholeFile(tool, "#!/bin/sh\n: >'" + QFile::encodeName(marker) + "'\n"));
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
    frmAbout about(host);
    about.cmdSysInfo->click();
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(marker); }));
}

} // namespace
