// The views over the models, under Qt's offscreen platform.

#include "gui/MainWindowView.h"
#include "app/frmMain.h"
#include "gui/DocumentView.h"
#include "gui/ProgramIcon.h"
#include "gui/QtHost.h"
#include "gui/QtTrayIcon.h"
#include "tests/support/IsolatedHome.h"
#include "text/StringTable.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class MainWindowViewTest : public ::testing::Test {
protected:
    MainWindowViewTest() {
        writeWholeFile(home.path(QStringLiteral("home/default.lvx")),
                       "[Lumivex]\nNumSessions=2\nMainLeft=1500\nMainTop=1500\nMainWidth=12000\n"
                       "MainHeight=9000\n[Session1]\nConnector=3\nSessionDescription=Scale\n"
                       "[Session2]\nTCPOption=1\nPortNumber=4001\n");
        main = std::make_unique<frmMain>(MainServices{host, tray});
        view = std::make_unique<MainWindowView>(*main, tray);
        host.setParentWidget(view.get());
        main->Timer1_Timer();
    }

    DocumentView* documentView(int i) {
        return qobject_cast<DocumentView*>(view->mdiArea()->subWindowList().at(i)->widget());
    }

    IsolatedHome home;
    QtHost host;
    QtTrayIcon tray;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<MainWindowView> view;
};

TEST_F(MainWindowViewTest, ShowsOneSubwindowPerSessionAtTheStoredPlace) {
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Lumivex"));
    const auto subs = view->mdiArea()->subWindowList();
    ASSERT_EQ(subs.size(), 2);
    EXPECT_EQ(subs[0]->windowTitle(), QStringLiteral("Scale"));
    EXPECT_EQ(subs[1]->windowTitle(), QStringLiteral("New - RS232 to TCP/IP"));
    EXPECT_EQ(view->width(), 12000 / MainWindowView::kTwipsPerPixel);
    EXPECT_EQ(main->TrayIconAdded, 0); // no tray on the offscreen platform
}

TEST_F(MainWindowViewTest, WidgetsAndModelsFollowEachOther) {
    DocumentView* first = documentView(0);
    auto combos = first->findChildren<QComboBox*>();
    const auto connector =
        std::find_if(combos.begin(), combos.end(), [](QComboBox* c) { return c->count() == 1025; });
    ASSERT_NE(connector, combos.end());
    EXPECT_EQ((*connector)->currentText(), QStringLiteral("COM3"));

    // A user's click on the server button runs the model's handler.
    frmDocument& doc = first->model();
    auto radios = first->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    QTest::mouseClick(radios[1], Qt::LeftButton);
    EXPECT_TRUE(doc.TCPOption[1]->value());
    EXPECT_FALSE(radios[0]->isChecked());
    EXPECT_EQ(doc.Label2->caption(), QStringLiteral("Local IP Address"));

    // The model's text reaches the widget, and typing reaches the model.
    doc.PortNumber->setText(QStringLiteral("2101"));
    QLineEdit* port = nullptr;
    for (QLineEdit* edit : first->findChildren<QLineEdit*>()) {
        if (edit->text() == QStringLiteral("2101"))
            port = edit;
    }
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->maxLength(), 5);
    port->clear();
    QTest::keyClicks(port, QStringLiteral("502"));
    EXPECT_EQ(doc.PortNumber->text(), QStringLiteral("502"));
}

TEST_F(MainWindowViewTest, NewSessionAndClosingASubwindowGoThroughTheModel) {
    main->mnuFileNew->click();
    ASSERT_EQ(view->mdiArea()->subWindowList().size(), 3);
    view->mdiArea()->subWindowList().at(0)->close();
    ASSERT_TRUE(waitUntil([&] { return main->documents().size() == 2; }));
    EXPECT_EQ(view->mdiArea()->subWindowList().size(), 2);
}

TEST_F(MainWindowViewTest, ClosingTheWindowRunsTheExitAndSaves) {
    QSignalSpy ended(main.get(), &frmMain::ended);
    view->close();
    ASSERT_EQ(ended.count(), 1);
    EXPECT_FALSE(view->isVisible());
    const QByteArray saved = readWholeFile(home.path(QStringLiteral("home/default.lvx")));
    EXPECT_TRUE(saved.contains("SessionDescription=Scale"));
    EXPECT_TRUE(saved.contains("MainWidth=12000"));
}

// A new set, as at the first start: the whole first session window shows, in either language,
// and the next one cascades below its title bar.
class NewSetView : public ::testing::TestWithParam<const char*> {};

TEST_P(NewSetView, ShowsTheWholeFirstSessionWindowAndCascadesTheNext) {
    IsolatedHome home;
    ScopedEnv language("LC_ALL", GetParam());
    QtHost host;
    QtTrayIcon tray;
    frmMain main(MainServices{host, tray});
    MainWindowView view(main, tray);
    main.Timer1_Timer();
    QMdiSubWindow* first = view.mdiArea()->subWindowList().value(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pos(), QPoint(0, 0));
    // The area drops its scroll bars once it has handled the resize.
    EXPECT_TRUE(waitUntil([&] {
        return view.mdiArea()->viewport()->rect().contains(first->geometry());
    })) << first->width()
        << "x" << first->height() << " in " << view.mdiArea()->viewport()->width() << "x"
        << view.mdiArea()->viewport()->height();
    EXPECT_EQ(first->windowTitle(),
              LoadResString(5119) + QStringLiteral(" - ") + LoadResString(5120));
    QStringList labels;
    for (const QLabel* label : first->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(LoadResString(2202))) << labels.join(u'|').toStdString();

    main.mnuFileNew->click();
    const auto subs = view.mdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(subs.size(), 2);
    EXPECT_GT(subs[1]->x(), 0);
    EXPECT_EQ(subs[1]->pos(), QPoint(subs[1]->x(), subs[1]->x()));
}

INSTANTIATE_TEST_SUITE_P(Languages, NewSetView, ::testing::Values("C", "ja_JP.UTF-8"));

// The icon of the windows and the tray renders without any optional image plugin.
TEST(ProgramIcon, RendersAtTheSizesInUse) {
    const QIcon icon = programIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 22, 32, 48})
        EXPECT_FALSE(icon.pixmap(size).isNull()) << size;
}

TEST(QtHostFilter, ClassicFiltersBecomeQtFilters) {
    EXPECT_EQ(QtHost::qtFilter(QStringLiteral("Lumivex Files (*.LVX)|*.lvx|All Files (*.*)|*.*")),
              QStringLiteral("Lumivex Files (*.lvx);;All Files (*.*)"));
    EXPECT_EQ(QtHost::qtFilter(QStringLiteral("Programs|*.EXE")),
              QStringLiteral("Programs (*.EXE)"));
}

} // namespace
