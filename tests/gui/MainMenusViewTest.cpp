// The main window's menus, tray menu, arrangements and modal dialogs as Qt widgets, under
// Qt's offscreen platform.

#include "app/frmMain.h"
#include "gui/DialogViews.h"
#include "gui/MainWindowView.h"
#include "gui/QtHost.h"
#include "gui/QtTrayIcon.h"
#include "model/GlobalSettings.h"
#include "session/dialogs/SessionDialogs.h"
#include "tests/support/IsolatedHome.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MainMenusViewTest : public ::testing::Test {
protected:
    MainMenusViewTest() {
        globals() = GlobalSettings{};
        writeWholeFile(home.path(QStringLiteral("home/default.lvx")),
                       "[Lumivex]\nNumSessions=3\n[Session1]\nSessionDescription=Scale\n"
                       "[Session2]\nSessionDescription=Printer & label\n[Session3]\n");
        registerDialogViews(host);
        main = std::make_unique<frmMain>(MainServices{host, tray});
        view = std::make_unique<MainWindowView>(*main, tray);
        host.setParentWidget(view.get());
        main->Timer1_Timer();
    }

    QMenu* menu(int i) const { return view->menuBar()->actions().at(i)->menu(); }
    static QStringList texts(const QMenu* m) {
        QStringList list;
        for (const QAction* action : m->actions()) {
            if (action->isVisible())
                list << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return list;
    }
    // Runs act on the next modal dialog once it shows.
    static void onNextDialog(std::function<void(QDialog&)> act) {
        QTimer::singleShot(0, [act] {
            ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
            act(*qobject_cast<QDialog*>(QApplication::activeModalWidget()));
        });
    }
    static QPushButton* buttonNamed(QDialog& dialog, const QString& text) {
        const auto buttons = dialog.findChildren<QPushButton*>();
        return *std::find_if(buttons.begin(), buttons.end(),
                             [&](QPushButton* b) { return b->text() == text; });
    }

    IsolatedHome home;
    QtHost host;
    QtTrayIcon tray;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<MainWindowView> view;
};

TEST_F(MainMenusViewTest, MenusShowTheirEntriesInOrder) {
    EXPECT_EQ(menu(0)->actions().at(4)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(texts(view->trayMenu()),
              QStringList({"&Open Lumivex", "E&xit Lumivex", "-", "&About..."}));
    ASSERT_NE(view->trayMenu()->defaultAction(), nullptr);
    EXPECT_EQ(view->trayMenu()->defaultAction()->text(), QStringLiteral("&About..."));
}

TEST_F(MainMenusViewTest, WindowListsTheSessionsAndFileAppliesTheCloseRule) {
    emit menu(1)->aboutToShow();
    emit menu(1)->aboutToShow(); // opening it again lists them once
    EXPECT_EQ(texts(menu(1)).mid(4),
              QStringList({"-", "&1 Scale", "&2 Printer && label", "&3 New - RS232 to TCP/IP"}));
    menu(1)->actions().at(6)->trigger();
    EXPECT_EQ(main->activeDocument(), main->documents()[1]);

    QAction* close = menu(0)->actions().at(2);
    emit menu(0)->aboutToShow();
    EXPECT_TRUE(close->isEnabled());
    for (int i = 0; i < 3; ++i) {
        main->mnuFileClose->click();
        QApplication::processEvents();
    }
    emit menu(0)->aboutToShow();
    EXPECT_FALSE(close->isEnabled());
}

TEST_F(MainMenusViewTest, TilingPlacesTheSessionWindowsSideBySideOrStacked) {
    view->resize(900, 700);
    QApplication::processEvents();
    const QRect area = view->mdiArea()->viewport()->rect();
    main->mnuWindowTileHorizontal->click();
    const auto subs = view->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(subs.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(subs[i]->width(), area.width());
        EXPECT_NEAR(subs[i]->y(), area.height() * i / 3, 1);
    }
    subs[0]->showMinimized();
    subs[2]->showMinimized();
    main->mnuWindowArrangeIcons->click();
    EXPECT_EQ(subs[0]->x(), 0);
    EXPECT_EQ(subs[0]->geometry().bottom(), area.bottom());
    EXPECT_EQ(subs[2]->x(), subs[0]->width());
}

TEST_F(MainMenusViewTest, MinimizingHidesInTheTrayAndTheTrayBringsItBackBehindItsPassword) {
    main->TrayIconAdded = 1; // the offscreen platform has no tray; act as if it had
    globals().Password = QStringLiteral("pw");
    view->showMinimized();
    ASSERT_TRUE(waitUntil([&] { return !view->isVisible(); }));
    emit tray.icon().activated(QSystemTrayIcon::Trigger); // a single click does nothing
    EXPECT_FALSE(view->isVisible());
    onNextDialog([](QDialog& dialog) {
        QLineEdit* edit = dialog.findChild<QLineEdit*>();
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit, QStringLiteral("pw"));
        QTest::keyClick(edit, Qt::Key_Return); // OK is the default button
    });
    emit tray.icon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(view->isVisible() && !view->isMinimized());
    EXPECT_FALSE(main->RestoreLocked) << "unlocked by the password";
    main->TrayIconAdded = 0;
}

TEST_F(MainMenusViewTest, SessionDialogsCloseByTheirButtonsOrTheirFrame) {
    frmDocument& doc = *main->documents()[0];
    doc.TCPOption[1]->click();
    doc.options.ServerSerialOptions = 0;
    // Closing by the frame changes nothing.
    onNextDialog([](QDialog& dialog) {
        dialog.findChildren<QRadioButton*>().at(4)->click();
        dialog.close();
    });
    showIoOptions(doc, host);
    EXPECT_EQ(doc.options.ServerSerialOptions, 0);
    onNextDialog([](QDialog& dialog) {
        dialog.findChildren<QRadioButton*>().at(4)->click(); // "Ignore inbound serial data"
        buttonNamed(dialog, QStringLiteral("&OK"))->click();
    });
    showIoOptions(doc, host);
    EXPECT_EQ(doc.options.ServerSerialOptions, 1);
}

TEST_F(MainMenusViewTest, AnExitWhileADialogIsOpenWaitsForTheDialogToClose) {
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
    EXPECT_TRUE(sessionAliveAfterDialog);
    EXPECT_EQ(ended.count(), 0);
    // Back in the program's loop the exit goes ahead.
    QEventLoop later;
    QObject::connect(main.get(), &frmMain::ended, &later, &QEventLoop::quit);
    QTimer::singleShot(5000, &later, &QEventLoop::quit);
    later.exec();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(main->documents().empty());
}

} // namespace
