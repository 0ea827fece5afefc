#include "gui/MainWindowView.h"

#include "app/frmMain.h"
#include "gui/DocumentView.h"
#include "gui/MainMenus.h"
#include "gui/MdiArrangement.h"
#include "gui/ProgramIcon.h"
#include "gui/QtTrayIcon.h"
#include "gui/X11StartHint.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace {

// The model's state (0 normal, 1 minimized, 2 maximized) as Qt's.
Qt::WindowState qtState(int state) {
    const Qt::WindowState states[] = {Qt::WindowNoState, Qt::WindowMinimized, Qt::WindowMaximized};
    return states[state];
}

// A place stored on other screens, or one larger than the screen, moved and shrunk so that the
// whole window shows on the screen it overlaps most (the primary one when it overlaps none).
QRect onAScreen(const QRect& stored) {
    const QScreen* best = QGuiApplication::primaryScreen();
    qint64 most = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->availableGeometry().intersected(stored);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (!overlap.isEmpty() && area > most) {
            best = screen;
            most = area;
        }
    }
    if (!best)
        return stored;
    const QRect room = best->availableGeometry();
    QRect placed(stored.topLeft(), stored.size().boundedTo(room.size()));
    placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() + 1 - placed.height()));
    return placed;
}

} // namespace

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
    connectWindowState();
    for (frmDocument* document : model_.documents())
        addDocument(document);
}

void MainWindowView::buildMenus() {
    buildMainMenus(*menuBar(), model_, *mdi_);
    trayMenu_ = buildTrayMenu(model_, this);
    // The icon's own menu: a status-notifier desktop shows it itself, where a popup of ours
    // might never appear.
    tray_.icon().setContextMenu(trayMenu_);
    connect(&model_, &frmMain::arrangeRequested, this, [this](int arrangement) {
        arrangeSubWindows(*mdi_, static_cast<MdiArrangement>(arrangement));
    });
    // No view state is used: the area also reports while the view is being destroyed.
    connect(mdi_, &QMdiArea::subWindowActivated, &model_, [model = &model_](QMdiSubWindow* sub) {
        if (auto* view = sub ? qobject_cast<DocumentView*>(sub->widget()) : nullptr)
            model->setActiveDocument(&view->model());
    });
}

void MainWindowView::connectWindowState() {
    connect(&model_, &frmMain::windowStateRequested, this, &MainWindowView::applyWindowState);
    connect(&model_, &frmMain::visibilityRequested, this, &MainWindowView::applyVisibility);
    connect(&model_, &frmMain::activateRequested, this, &MainWindowView::bringToFront);
    connect(&tray_, &QtTrayIcon::mouseMessageReceived, &model_,
            [this](int message) { model_.Picture1_MouseMove(message * kTwipsPerPixel); });
}

void MainWindowView::applyWindowState(int state) {
    // A hidden window takes its state when it shows again: changing the state of an unmapped
    // window would let the window manager map it.
    if (!isVisible())
        return;
    applying_ = true;
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | qtState(state));
    applying_ = false;
}

void MainWindowView::applyVisibility(bool visible) {
    if (!visible) {
        // Hiding from inside a state change would be undone by the showing that caused it
        // (showMinimized shows the window after minimizing it): hide once it is over.
        QTimer::singleShot(0, this, [this] {
            if (!model_.Visible)
                hide();
        });
        return;
    }
    applying_ = true;
    if (!isVisible() && model_.WindowState != 1)
        startNormalWhenShown(*this);
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
        setGeometry(onAScreen(geometry()));
        break;
    }
    applying_ = false;
    if (!isMinimized())
        bringToFront();
}

void MainWindowView::bringToFront() {
    raise();
    activateWindow();
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
    applyVisibility(true);
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
    if (applying_)
        return;
    // The user's change runs the model's resize handling (tray, password).
    model_.changeWindowState(isMinimized() ? 1 : isMaximized() ? 2 : 0);
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

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (ending_) {
        event->accept();
        return;
    }
    // The model runs the exit sequence; its ended signal closes this window.
    event->ignore();
    model_.unloadMainWindow();
}
