#pragma once
// The main window: an MDI area holding one subwindow per session window model, the File
// menu, and the tray icon's way back. Place, size and state are kept in step with the model.

#include <QMainWindow>
#include <map>

class QMdiArea;
class QMdiSubWindow;
class QtTrayIcon;
class frmDocument;
class frmMain;

class MainWindowView : public QMainWindow {
    Q_OBJECT
public:
    MainWindowView(frmMain& model, QtTrayIcon& tray, QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return mdi_; }
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
    void addDocument(frmDocument* document);
    void removeDocument(frmDocument* document);
    void makeRoomForFirstSession();
    void applyModelGeometry();
    void showFromModel();
    void storeGeometry();
    void restoreFromTray();

    frmMain& model_;
    QtTrayIcon& tray_;
    QMdiArea* mdi_;
    std::map<frmDocument*, QMdiSubWindow*> subWindows_;
    bool ending_ = false;
};
