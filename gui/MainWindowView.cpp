#include "gui/MainWindowView.h"

#include "app/frmMain.h"
#include "gui/DocumentView.h"
#include "gui/MainMenus.h"
#include "gui/MdiArrangement.h"
#include "gui/QtTrayIcon.h"

#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTimer>

MainWindowView::MainWindowView(frmMain& model, QtTrayIcon& tray, QWidget* parent)
    : QMainWindow(parent)
    , model_(model)
    , tray_(tray)
    , mdi_(new QMdiArea(this)) {
    setWindowIcon(QIcon(QStringLiteral(":/lumivex.svg")));
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
    connect(&model_, &frmMain::trayMenuRequested, this, &MainWindowView::showTrayMenu);
    connect(&model_, &frmMain::activateRequested, this, &MainWindowView::bringToFront);
    connect(&tray_, &QtTrayIcon::mouseMessageReceived, &model_,
            [this](int message) { model_.Picture1_MouseMove(message * kTwipsPerPixel); });
}

void MainWindowView::applyWindowState(int state) {
    // A hidden window takes its state when it shows again: changing the state of an unmapped
    // window would let the window manager map it.
    if (!isVisible())
        return;
    const Qt::WindowStates states[] = {Qt::WindowNoState, Qt::WindowMinimized, Qt::WindowMaximized};
    applying_ = true;
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | states[state]);
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
    switch (model_.WindowState) {
    case 1:
        showMinimized();
        break;
    case 2:
        showMaximized();
        break;
    default:
        showNormal();
        break;
    }
    applying_ = false;
    if (!isMinimized())
        bringToFront();
}

void MainWindowView::showTrayMenu() {
    trayMenu_->popup(QCursor::pos());
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
    sub->show();
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
    mdi_->removeSubWindow(sub);
    delete sub;
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
