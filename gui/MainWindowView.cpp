#include "gui/MainWindowView.h"

#include "app/frmMain.h"
#include "gui/DocumentView.h"
#include "gui/ProgramIcon.h"
#include "gui/QtTrayIcon.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>

MainWindowView::MainWindowView(frmMain& model, QtTrayIcon& tray, QWidget* parent)
    : QMainWindow(parent)
    , model_(model)
    , tray_(tray)
    , mdi_(new QMdiArea(this)) {
    setWindowIcon(programIcon());
    setCentralWidget(mdi_);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    buildMenus();

    auto refreshTitle = [this] {
        setWindowTitle(model_.caption());
    };
    connect(&model_, &Form::captionChanged, this, refreshTitle);
    refreshTitle();
    connect(&model_, &frmMain::documentAdded, this, &MainWindowView::addDocument);
    connect(&model_, &frmMain::documentRemoved, this, &MainWindowView::removeDocument);
    connect(&model_, &frmMain::showRequested, this, &MainWindowView::showFromModel);
    connect(&model_, &frmMain::ended, this, [this] {
        ending_ = true;
        hide();
    });
    connect(&tray_, &QtTrayIcon::openRequested, this, &MainWindowView::restoreFromTray);
    for (frmDocument* document : model_.documents())
        addDocument(document);
}

void MainWindowView::buildMenus() {
    QMenu* file = menuBar()->addMenu(QString());
    auto refreshFile = [this, file] {
        file->setTitle(model_.mnuFile->caption());
    };
    connect(model_.mnuFile, &Control::changed, file, refreshFile);
    refreshFile();
    for (MenuEntry* entry : {model_.mnuFileNew, model_.mnuFileExit}) {
        QAction* action = file->addAction(QString());
        action->setShortcut(QKeySequence(entry->shortcut()));
        auto refresh = [entry, action] {
            action->setText(entry->caption());
            action->setEnabled(entry->enabled());
            action->setVisible(entry->visible());
        };
        connect(entry, &Control::changed, action, refresh);
        refresh();
        connect(action, &QAction::triggered, entry, [entry] { entry->click(); });
    }
}

QMdiSubWindow* MainWindowView::subWindowOf(frmDocument* document) const {
    const auto it = subWindows_.find(document);
    return it == subWindows_.end() ? nullptr : it->second;
}

void MainWindowView::addDocument(frmDocument* document) {
    auto* view = new DocumentView(*document);
    QMdiSubWindow* sub = mdi_->addSubWindow(view);
    sub->setWindowIcon(windowIcon());
    // Closing a session window from its frame closes the session: the model decides.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    subWindows_[document] = sub;
    sub->installEventFilter(this);
    connect(view, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    sub->setWindowTitle(view->windowTitle());
    // Placed by us, not by the area: while the area is not shown yet it has no size, and its
    // own placement would put the window partly outside it.
    const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub);
    const int place = static_cast<int>(subWindows_.size() - 1) % kCascadeDepth;
    sub->resize(sub->sizeHint());
    sub->move(place * step, place * step);
    sub->show();
}

// Grows a normal main window that is too small for the first session window, within the
// screen, so that a new set shows a whole session window.
void MainWindowView::makeRoomForFirstSession() {
    const QList<QMdiSubWindow*> subs = mdi_->subWindowList(QMdiArea::CreationOrder);
    if (subs.isEmpty() || windowState() != Qt::WindowNoState)
        return;
    layout()->activate(); // the menu bar's and the area's places, before the window shows
    const QRect first = subs.front()->geometry();
    const QSize room = mdi_->contentsRect().size(); // the viewport without scroll bars
    const QSize missing(first.right() + 1 - room.width(), first.bottom() + 1 - room.height());
    if (missing.width() <= 0 && missing.height() <= 0)
        return;
    QSize wanted = size() + missing.expandedTo(QSize(0, 0));
    if (const QScreen* s = screen())
        wanted = wanted.boundedTo(s->availableGeometry().size());
    resize(wanted);
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Close)
        return QMainWindow::eventFilter(watched, event);
    for (const auto& [document, sub] : subWindows_) {
        if (sub == watched) {
            // The model closes the session; removeDocument then deletes the subwindow.
            event->ignore();
            QTimer::singleShot(0, &model_, [this, d = document] { model_.closeDocument(d); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindowView::removeDocument(frmDocument* document) {
    QMdiSubWindow* sub = subWindowOf(document);
    if (!sub)
        return;
    subWindows_.erase(document);
    sub->hide();
    mdi_->removeSubWindow(sub);
    // Its widgets may be on the stack as the window's model is; they go with the model.
    connect(document, &QObject::destroyed, sub, [sub] { delete sub; });
}

void MainWindowView::applyModelGeometry() {
    const auto px = [](double twips) {
        return static_cast<int>(twips / kTwipsPerPixel);
    };
    setGeometry(px(model_.Left), px(model_.Top), px(model_.Width), px(model_.Height));
}

void MainWindowView::showFromModel() {
    applyModelGeometry();
    switch (model_.WindowState) {
    case 1:
        showMinimized();
        break;
    case 2:
        showMaximized();
        break;
    default:
        showNormal();
        makeRoomForFirstSession();
        break;
    }
}

void MainWindowView::storeGeometry() {
    if (!isVisible() && !isMinimized())
        return;
    // A maximized window stores the place it returns to; its state brings it back maximized.
    const QRect r = isMaximized() ? normalGeometry() : geometry();
    // Twips that round to the pixel the window already has are kept as they are, so that
    // showing a stored place does not wear it down by rounding.
    const auto twips = [](int pixels, double stored) {
        return static_cast<int>(stored / kTwipsPerPixel) == pixels ? stored
                                                                   : pixels * kTwipsPerPixel;
    };
    model_.setGeometry(twips(r.x(), model_.Left), twips(r.y(), model_.Top),
                       twips(r.width(), model_.Width), twips(r.height(), model_.Height));
}

void MainWindowView::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    model_.setWindowState(state);
    // A minimized program lives in the tray when there is one.
    if (state == 1 && model_.TrayIconAdded != 0)
        QTimer::singleShot(0, this, &QWidget::hide);
}

void MainWindowView::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!isMinimized())
        storeGeometry();
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!isMinimized())
        storeGeometry();
}

void MainWindowView::restoreFromTray() {
    if (!isMinimized() && isVisible()) {
        raise();
        activateWindow();
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (ending_) {
        event->accept();
        return;
    }
    // The model runs the exit sequence; its ended signal closes this window.
    event->ignore();
    model_.unloadMainWindow();
}
