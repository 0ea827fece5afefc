// The main window's views over their models, under Qt's offscreen platform.

#include "gui/MainWindowView.h"
#include "app/frmMain.h"
#include "gui/DialogViews.h"
#include "gui/DocumentView.h"
#include "gui/ProgramIcon.h"
#include "gui/QtHost.h"
#include "gui/QtTrayIcon.h"
#include "model/GlobalSettings.h"
#include "session/dialogs/SessionDialogs.h"
#include "tests/support/IsolatedHome.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Runs `act` on the next modal dialog of type T once it is open: it may open at once or only
// after events from outside (a window manager), so the test looks for it every few
// milliseconds from the event loop, for at most 10 seconds, never blocking the loop.
template <typename T = QDialog>
void onNextDialog(std::type_identity_t<std::function<void(T&)>> act) {
    auto* poll = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, ticks, act] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog && ++*ticks < 1000)
            return;
        poll->deleteLater();
        poll->stop();
        ASSERT_NE(dialog, nullptr) << "no dialog opened";
        act(*dialog);
    });
    poll->start(10);
}

class ViewTest : public ::testing::Test {
protected:
    ViewTest() {
        globals() = GlobalSettings{};
        registerDialogViews(host);
    }
    // Starts the program on set; without one on a new set, as at the first start.
    void start(const QByteArray& set = {}) {
        if (!set.isEmpty())
            writeWholeFile(home.path(QStringLiteral("home/default.lvx")), set);
        main = std::make_unique<frmMain>(MainServices{host, tray});
        view = std::make_unique<MainWindowView>(*main, tray);
        host.setParentWidget(view.get());
        main->Timer1_Timer();
    }
    QList<QMdiSubWindow*> subs() const {
        return view->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    }

    IsolatedHome home;
    QtHost host;
    QtTrayIcon tray;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<MainWindowView> view;
};

class MainWindowViewTest : public ViewTest {
protected:
    MainWindowViewTest() {
        start("[Lumivex]\nNumSessions=3\nMainLeft=1500\nMainTop=1500\nMainWidth=12000\n"
              "MainHeight=9000\n[Session1]\nConnector=3\nSessionDescription=Scale\n[Session2]\n"
              "SessionDescription=Printer & label\nTCPOption=1\nPortNumber=4001\n[Session3]\n");
    }

    QMenu* menu(int i) const { return view->menuBar()->actions().at(i)->menu(); }
};

TEST_F(MainWindowViewTest, WidgetsAndModelsFollowEachOtherAndClosingSaves) {
    ASSERT_EQ(subs().size(), 3);
    EXPECT_EQ(subs()[0]->windowTitle(), QStringLiteral("Scale"));
    EXPECT_EQ(view->width(), 12000 / MainWindowView::kTwipsPerPixel);
    auto* first = qobject_cast<DocumentView*>(subs()[0]->widget());
    const auto combos = first->findChildren<QComboBox*>();
    EXPECT_TRUE(std::any_of(combos.begin(), combos.end(), [](QComboBox* c) {
        return c->count() == 1025 && c->currentText() == QStringLiteral("COM3");
    })) << "the connector list shows the stored connector";

    frmDocument& doc = first->model();
    auto radios = first->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    QTest::mouseClick(radios[1], Qt::LeftButton);
    EXPECT_TRUE(doc.TCPOption[1]->value() && !radios[0]->isChecked());

    doc.PortNumber->setText(QStringLiteral("2101"));
    const auto edits = first->findChildren<QLineEdit*>();
    QLineEdit* port = *std::find_if(edits.begin(), edits.end(), [](QLineEdit* e) {
        return e->text() == QStringLiteral("2101");
    });
    port->clear();
    QTest::keyClicks(port, QStringLiteral("502"));
    EXPECT_EQ(doc.PortNumber->text(), QStringLiteral("502"));

    // A closed subwindow closes its session; closing the window ends the program and saves.
    subs()[2]->close();
    ASSERT_TRUE(waitUntil([&] { return main->documents().size() == 2; }));
    EXPECT_EQ(subs().size(), 2);
    QSignalSpy ended(main.get(), &frmMain::ended);
    view->close();
    ASSERT_EQ(ended.count(), 1);
    const QByteArray saved = readWholeFile(home.path(QStringLiteral("home/default.lvx")));
    EXPECT_TRUE(saved.contains("PortNumber=502") && saved.contains("MainWidth=12000"));
}

// A new set: the whole first session window shows, in either language, and the next one
// cascades below its title bar.
class NewSetView : public ViewTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NewSetView, ShowsTheWholeFirstSessionWindowAndCascadesTheNext) {
    ScopedEnv language("LC_ALL", GetParam());
    start();
    QMdiSubWindow* first = subs().value(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pos(), QPoint(0, 0));
    // The area drops its scroll bars once it has handled the resize.
    EXPECT_TRUE(
        waitUntil([&] { return view->mdiArea()->viewport()->rect().contains(first->geometry()); }));

    main->mnuFileNew->click();
    const QMdiSubWindow* next = subs().value(1);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(next->x() > 0 && next->y() == next->x()) << next->x() << "," << next->y();
}

INSTANTIATE_TEST_SUITE_P(Languages, NewSetView, ::testing::Values("C", "ja_JP.UTF-8"));

// A place saved on a screen that is gone, or larger than the screen, shows whole on this one.
TEST_F(ViewTest, AStoredPlaceOffTheScreensComesBackWholeOnOne) {
    start("[Lumivex]\nMainLeft=-150000\nMainTop=900000\nMainWidth=300000\nMainHeight=6000\n");
    const QRect screen = view->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(view->geometry()))
        << view->x() << "," << view->y() << " " << view->width() << "x" << view->height();
}

TEST_F(MainWindowViewTest, WindowListsTheSessionsAndFileAppliesTheCloseRule) {
    emit menu(1)->aboutToShow();
    emit menu(1)->aboutToShow(); // opening it again lists them once
    QStringList listed;
    for (const QAction* action : menu(1)->actions().mid(4)) {
        if (action->isVisible())
            listed << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(listed,
              QStringList({"-", "&1 Scale", "&2 Printer && label", "&3 New - RS232 to TCP/IP"}));
    menu(1)->actions().at(6)->trigger();
    EXPECT_EQ(main->activeDocument(), main->documents()[1]);
    for (int i = 0; i < 3; ++i) {
        main->mnuFileClose->click();
        QApplication::processEvents();
    }
    emit menu(0)->aboutToShow();
    EXPECT_FALSE(menu(0)->actions().at(2)->isEnabled());
}

TEST_F(MainWindowViewTest, MinimizingHidesInTheTrayAndAClickBringsItBackBehindItsPassword) {
    EXPECT_EQ(tray.icon().contextMenu(), view->trayMenu()) << "the icon's own menu";
    main->TrayIconAdded = 1; // the offscreen platform has no tray; act as if it had
    globals().Password = QStringLiteral("pw");
    view->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return !view->isVisible(); }));
    onNextDialog([](QDialog& dialog) { // types the password; Return presses OK
        QLineEdit* edit = dialog.findChild<QLineEdit*>();
        ASSERT_TRUE(edit && edit->echoMode() == QLineEdit::Password);
        QTest::keyClicks(edit, QStringLiteral("pw"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    emit tray.icon().activated(QSystemTrayIcon::Trigger); // a single click restores
    EXPECT_TRUE(view->isVisible() && !view->isMinimized() && !main->RestoreLocked);
    main->TrayIconAdded = 0;
}

// A dialog closed by its frame ends its modal loop and changes nothing.
TEST_F(MainWindowViewTest, ASessionDialogClosedByItsFrameChangesNothing) {
    frmDocument& doc = *main->documents()[0];
    doc.TCPOption[1]->click();
    onNextDialog([](QDialog& dialog) {
        dialog.findChildren<QRadioButton*>().at(4)->click(); // "Ignore inbound serial data"
        dialog.close();
    });
    showIoOptions(doc, host);
    EXPECT_EQ(doc.ioOptions().ServerSerialOptions, 0);
}

TEST_F(MainWindowViewTest, AnExitWhileADialogIsOpenWaitsForTheDialogToClose) {
    // Run as the program does: the program's loop is level 1, the dialog's level 2.
    QEventLoop programLoop;
    QSignalSpy ended(main.get(), &frmMain::ended);
    bool sessionAliveAfterDialog = false;
    QTimer::singleShot(0, [&] {
        frmDocument& doc = *main->documents()[0];
        QPointer<frmDocument> alive(&doc);
        // The exit arrives (a stop signal, "[APPEXIT]") while the dialog is open.
        onNextDialog([&](QDialog&) { main->unloadMainWindow(); });
        showLoginOptions(doc, host);
        sessionAliveAfterDialog = !alive.isNull();
        programLoop.quit();
    });
    programLoop.exec();
    EXPECT_TRUE(sessionAliveAfterDialog && ended.count() == 0);
    EXPECT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    EXPECT_TRUE(main->documents().empty());
}

// The icon of the windows and the tray renders without any optional image plugin.
TEST(ProgramIcon, RendersAtTheSizesInUse) {
    for (const int size : {16, 22, 32, 48})
        EXPECT_FALSE(programIcon().pixmap(size).isNull()) << size;
}

TEST(QtHostFilter, ClassicFiltersBecomeQtFilters) {
    EXPECT_EQ(QtHost::qtFilter(QStringLiteral("Lumivex Files (*.LVX)|*.lvx|All Files (*.*)|*.*")),
              QStringLiteral("Lumivex Files (*.lvx);;All Files (*.*)"));
}

} // namespace
