// The main window's state: minimizing hides it in the tray, restoring asks for the password,
// and the tray icon's mouse messages bring it back.

#include "app/frmMain.h"
#include "model/GlobalSettings.h"

#include <cmath>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kMinimized = 1;
constexpr int kNormal = 0;
// Mouse messages the tray icon reports.
constexpr int kLeftButtonUp = 514;
constexpr int kLeftDoubleClick = 515;

} // namespace

void frmMain::changeWindowState(int state) {
    if (state < 0 || state > 2 || state == WindowState)
        return;
    setWindowState(state);
    emit windowStateRequested(state);
    MDIForm_Resize();
}

void frmMain::setVisible(bool visible) {
    if (Visible == visible)
        return;
    Visible = visible;
    emit visibilityRequested(visible);
}

void frmMain::MDIForm_Resize() {
    if (WindowState == kMinimized) {
        RestoreLocked = true;
        // A minimized program is reachable only through its tray icon.
        if (TrayIconAdded != 0)
            setVisible(false);
        return;
    }
    // The check changes the state itself; it must not run again from inside.
    if (resizing_)
        return;
    resizing_ = true;
    restoreCheck();
    resizing_ = false;
    if (TrayIconAdded != 0 && WindowState == kMinimized)
        setVisible(false);
}

void frmMain::restoreCheck() {
    if (!RestoreLocked || globals().Password.isEmpty())
        return;
    setVisible(false);
    if (passwordEntered()) {
        changeWindowState(kNormal);
        RestoreLocked = false;
    } else {
        changeWindowState(kMinimized);
    }
    setVisible(true);
}

// Most Linux trays report a click (activation) and never a double click: either restores.
// The icon's menu is its own (the desktop shows it), not the model's business.
void frmMain::Picture1_MouseMove(double X) {
    // The icon acts only while the window is minimized.
    if (WindowState != kMinimized)
        return;
    const int message = static_cast<int>(std::lround(X / kTwipsPerPixel));
    if (message == kLeftButtonUp || message == kLeftDoubleClick)
        mnuOpen_Click();
}
