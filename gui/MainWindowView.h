#pragma once
// The main window: an MDI area holding one subwindow per session window model, the menus,
// and the tray icon. Place, size, state and visibility are kept in step with the model, which
// decides what minimizing and restoring do.

#include <QMainWindow>
#include <map>

class QMdiArea;
class QMenu;
class QMdiSubWindow;
class QtTrayIcon;
class frmDocument;
class frmMain;

class MainWindowView : public QMainWindow {
    Q_OBJECT
public:
    MainWindowView(frmMain& model, QtTrayIcon& tray, QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return mdi_; }
    QMenu* trayMenu() const { return trayMenu_; }
    QMdiSubWindow* subWindowOf(frmDocument* document) const;

    // Twips per pixel: window places in set files are in twips.
    static constexpr int kTwipsPerPixel = 15;
    // New session windows cascade down this many title bars, then start again at the top.
    static constexpr int kCascadeDepth = 8;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void connectWindowState();
    void applyWindowState(int state);
    void applyVisibility(bool visible);
    void bringToFront();
    void addDocument(frmDocument* document);
    void removeDocument(frmDocument* document);
    void makeRoomForFirstSession();
    void applyModelGeometry();
    void showFromModel();
    void storeGeometry();

    frmMain& model_;
    QtTrayIcon& tray_;
    QMdiArea* mdi_;
    QMenu* trayMenu_ = nullptr;
    // True while the view follows the model, so that it does not report its own change back.
    bool applying_ = false;
    std::map<frmDocument*, QMdiSubWindow*> subWindows_;
    bool ending_ = false;
};
