// The views over the models, under Qt's offscreen platform.

#include "gui/MainWindowView.h"
#include "app/frmMain.h"
#include "gui/DocumentView.h"
#include "gui/ProgramIcon.h"
#include "gui/QtHost.h"
#include "gui/QtTrayIcon.h"
#include "tests/support/IsolatedHome.h"

#include <QComboBox>
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

TEST_F(MainWindowViewTest, ShowsOneSubwindowPerSessionAtTheStoredPlaceAndClosingSaves) {
    EXPECT_TRUE(view->isVisible());
    const auto subs = view->mdiArea()->subWindowList();
    ASSERT_EQ(subs.size(), 2);
    EXPECT_EQ(subs[0]->windowTitle(), QStringLiteral("Scale"));
    EXPECT_EQ(view->width(), 12000 / MainWindowView::kTwipsPerPixel);
    // New sessions and closed subwindows go through the model.
    main->mnuFileNew->click();
    ASSERT_EQ(view->mdiArea()->subWindowList().size(), 3);
    view->mdiArea()->subWindowList().at(2)->close();
    ASSERT_TRUE(waitUntil([&] { return main->documents().size() == 2; }));
    EXPECT_EQ(view->mdiArea()->subWindowList().size(), 2);
    QSignalSpy ended(main.get(), &frmMain::ended);
    view->close();
    ASSERT_EQ(ended.count(), 1);
    const QByteArray saved = readWholeFile(home.path(QStringLiteral("home/default.lvx")));
    EXPECT_TRUE(saved.contains("SessionDescription=Scale") && saved.contains("MainWidth=12000"));
}

TEST_F(MainWindowViewTest, WidgetsAndModelsFollowEachOther) {
    DocumentView* first = documentView(0);
    const auto combos = first->findChildren<QComboBox*>();
    EXPECT_TRUE(std::any_of(combos.begin(), combos.end(), [](QComboBox* c) {
        return c->count() == 1025 && c->currentText() == QStringLiteral("COM3");
    })) << "the connector list shows the stored connector";

    // A user's click on the server button runs the model's handler.
    frmDocument& doc = first->model();
    auto radios = first->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    QTest::mouseClick(radios[1], Qt::LeftButton);
    EXPECT_TRUE(doc.TCPOption[1]->value());
    EXPECT_FALSE(radios[0]->isChecked());

    // The model's text reaches the widget, and typing reaches the model.
    doc.PortNumber->setText(QStringLiteral("2101"));
    const auto edits = first->findChildren<QLineEdit*>();
    QLineEdit* port = *std::find_if(edits.begin(), edits.end(), [](QLineEdit* e) {
        return e->text() == QStringLiteral("2101");
    });
    port->clear();
    QTest::keyClicks(port, QStringLiteral("502"));
    EXPECT_EQ(doc.PortNumber->text(), QStringLiteral("502"));
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
        << "x" << first->height();

    main.mnuFileNew->click();
    const QMdiSubWindow* next = view.mdiArea()->subWindowList(QMdiArea::CreationOrder).value(1);
    ASSERT_NE(next, nullptr);
    EXPECT_GT(next->x(), 0);
    EXPECT_EQ(next->pos(), QPoint(next->x(), next->x()));
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
}

} // namespace
