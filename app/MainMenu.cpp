// The main window's menu handlers: files, options and password, windows, tools, help, and the
// tray menu's entries.

#include "app/Form1.h"
#include "app/Form2.h"
#include "app/frmAbout.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "model/GlobalSettings.h"
#include "model/Host.h"
#include "text/StringTable.h"

#include <QUrl>

namespace {

constexpr int kTextInvalidPassword = 5065;

const QString kSetFileFilter = QStringLiteral("Lumivex Files (*.LVX)|*.lvx|All Files (*.*)|*.*");

enum Arrangement { Cascade = 0, TileHorizontal = 1, TileVertical = 2, ArrangeIcons = 3 };

} // namespace

void frmMain::connectMenus() {
    const auto on = [this](MenuEntry* entry, void (frmMain::*handler)()) {
        connect(entry, &MenuEntry::clicked, this, handler);
    };
    on(mnuFile, &frmMain::mnuFile_Click);
    connect(mnuFileNew, &MenuEntry::clicked, this, [this] { NewSession(); });
    on(mnuFileOpen, &frmMain::mnuFileOpen_Click);
    on(mnuFileClose, &frmMain::mnuFileClose_Click);
    on(mnuFileSave, &frmMain::mnuFileSave_Click);
    on(mnuFileSaveAs, &frmMain::mnuFileSaveAs_Click);
    on(mnuOptions, &frmMain::mnuOptions_Click);
    on(mPassword, &frmMain::mPassword_Click);
    on(mnuFileExit, &frmMain::mnuFileExit_Click);
    const std::pair<MenuEntry*, int> arrangements[] = {{mnuWindowCascade, Cascade},
                                                       {mnuWindowTileHorizontal, TileHorizontal},
                                                       {mnuWindowTileVertical, TileVertical},
                                                       {mnuWindowArrangeIcons, ArrangeIcons}};
    for (const auto& [entry, arrangement] : arrangements)
        connect(entry, &MenuEntry::clicked, this,
                [this, a = arrangement] { emit arrangeRequested(a); });
    on(mPingTool, &frmMain::mPingTool_Click);
    on(mResolve, &frmMain::mResolve_Click);
    on(mnuHelpContents, &frmMain::mnuHelpContents_Click);
    on(mnuOrvane, &frmMain::mnuOrvane_Click);
    on(mnuHelpAbout, &frmMain::mnuHelpAbout_Click);
    on(mnuOpen, &frmMain::mnuOpen_Click);
    on(mnuHide, &frmMain::mnuHide_Click);
    on(mnuExit, &frmMain::mnuExit_Click);
    on(mnuAbout, &frmMain::mnuHelpAbout_Click);
}

void frmMain::mnuFile_Click() {
    // Close is offered only while a session window is there to close.
    mnuFileClose->setEnabled(!documents_.empty());
}

void frmMain::mnuFileOpen_Click() {
    FileDialogRequest request;
    request.filter = kSetFileFilter;
    request.fileMustExist = true;
    const QString file = services_.host.fileDialog(request);
    if (file.isEmpty() || unloading_ || ended_)
        return;
    CurrentFileName = file;
    getprofilesettings(file);
    if (!shown_)
        return;
    // The file's place and state apply as a user's change would (minimized goes to the tray).
    emit showRequested();
    MDIForm_Resize();
}

void frmMain::mnuFileClose_Click() {
    if (frmDocument* document = activeDocument())
        closeDocument(document);
}

void frmMain::mnuFileSave_Click() {
    if (CurrentFileName.isEmpty()) {
        mnuFileSaveAs_Click();
        return;
    }
    writeprofilesettings(CurrentFileName);
}

void frmMain::mnuFileSaveAs_Click() {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.filter = kSetFileFilter;
    request.defaultExtension = QStringLiteral("lvx");
    const QString file = services_.host.fileDialog(request);
    // An exit while the dialog was open has closed the sessions: nothing left to save there.
    if (file.isEmpty() || unloading_ || ended_)
        return;
    CurrentFileName = file;
    writeprofilesettings(file);
}

void frmMain::mnuOptions_Click() {
    frmOptions dialog(services_.host);
    services_.host.showModal(dialog);
}

void frmMain::mPassword_Click() {
    Form1 dialog(services_.host);
    services_.host.showModal(dialog);
}

void frmMain::mnuFileExit_Click() {
    if (aboutBox_)
        aboutBox_->unload();
    unloadMainWindow();
}

void frmMain::mPingTool_Click() {
    if (services_.showPingTool)
        services_.showPingTool();
}

void frmMain::mResolve_Click() {
    if (services_.showResolveTool)
        services_.showResolveTool();
}

void frmMain::mnuHelpContents_Click() {
    const QString index = services_.helpFile ? services_.helpFile() : QString();
    if (index.isEmpty()) {
        services_.host.beep();
        return;
    }
    if (!services_.host.openUrl(QUrl::fromLocalFile(index).toString()))
        services_.host.messageBox(QStringLiteral("The help pages could not be opened in a web "
                                                 "browser: %1")
                                      .arg(index),
                                  QString());
}

void frmMain::mnuOrvane_Click() {
    services_.host.openUrl(frmAbout::webPage());
}

void frmMain::mnuHelpAbout_Click() {
    frmAbout about(services_.host);
    aboutBox_ = &about;
    services_.host.showModal(about);
}

void frmMain::mnuOpen_Click() {
    if (WindowState != 1) {
        emit activateRequested();
        return;
    }
    changeWindowState(0);
    // A wrong or cancelled password has sent the window back to the tray.
    if (WindowState != 1 || TrayIconAdded == 0)
        setVisible(true);
}

void frmMain::mnuHide_Click() {
    setVisible(false);
}

void frmMain::mnuExit_Click() {
    if (!globals().Password.isEmpty() && !passwordEntered())
        return;
    mnuFileExit_Click();
}

// Asks for the password; true when the right one was typed. A wrong one is reported, an
// empty one (Cancel) is not.
bool frmMain::passwordEntered() {
    Form2 dialog;
    services_.host.showModal(dialog);
    if (dialog.EnteredPassword == globals().Password)
        return true;
    if (!dialog.EnteredPassword.isEmpty())
        services_.host.messageBox(LoadResString(kTextInvalidPassword), QString());
    return false;
}
