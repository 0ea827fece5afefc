#include "app/frmMain.h"

#include "app/ServiceNotify.h"
#include "model/Host.h"
#include "model/TrayIcon.h"
#include "platform/Folders.h"
#include "platform/VirtualPort.h"
#include "session/ErrorLog.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

#include <QDir>
#include <QThread>

using namespace std::chrono_literals;

namespace {
constexpr auto kStartupDelay = 1000ms;
constexpr auto kDeferredExitDelay = 500ms;
// How often an exit asked for under an open dialog looks again whether the dialog is gone.
constexpr auto kUnloadRetry = 50ms;
// How often a closed session window is looked at again while a nested loop keeps it alive.
constexpr auto kDeleteRetry = 100ms;
constexpr int kTextNew = 5119;
constexpr int kTextConverter = 5120;
} // namespace

frmMain::frmMain(MainServices services, QObject* parent)
    : Form(QStringLiteral("frmMain"), parent)
    , services_(std::move(services)) {
    setCaption(QStringLiteral("Lumivex"));
    createMenus();
    Timer1.setInterval(kStartupDelay);
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    deleteClosedTimer_.setSingleShot(true);
    connect(&deleteClosedTimer_, &QTimer::timeout, this, &frmMain::deleteClosedDocuments);
    connectMenus();
}

frmMain::~frmMain() {
    closeAllDocuments();
    for (const ClosedDocument& closed : closed_)
        delete closed.document;
}

MenuEntry* frmMain::menu(const char* name, int id) {
    auto* entry = add<MenuEntry>(QString::fromLatin1(name));
    entry->setCaption(QString::number(id));
    return entry;
}

MenuEntry* frmMain::separator() {
    auto* entry = add<MenuEntry>(QStringLiteral("mnuSeparator"));
    entry->setCaption(QStringLiteral("-"));
    return entry;
}

void frmMain::createMenus() {
    mnuFile = menu("mnuFile", 2102);
    mnuFileNew = menu("mnuFileNew", 2103);
    mnuFileNew->setShortcut(QStringLiteral("Ctrl+N"));
    mnuFileOpen = menu("mnuFileOpen", 2104);
    mnuFileOpen->setShortcut(QStringLiteral("Ctrl+O"));
    mnuFileClose = menu("mnuFileClose", 2101);
    separator();
    mnuFileSave = menu("mnuFileSave", 2105);
    mnuFileSave->setShortcut(QStringLiteral("Ctrl+S"));
    mnuFileSaveAs = menu("mnuFileSaveAs", 2106);
    separator();
    mnuOptions = menu("mnuOptions", 2108);
    mPassword = menu("mPassword", 2109);
    separator();
    mnuFileExit = menu("mnuFileExit", 2107);
    mnuWindow = menu("mnuWindow", 2110);
    mnuWindowCascade = menu("mnuWindowCascade", 2111);
    mnuWindowTileHorizontal = menu("mnuWindowTileHorizontal", 2112);
    mnuWindowTileVertical = menu("mnuWindowTileVertical", 2113);
    mnuWindowArrangeIcons = menu("mnuWindowArrangeIcons", 2114);
    MTools = menu("MTools", 2122);
    mPingTool = menu("mPingTool", 2123);
    mResolve = menu("mResolve", 2124);
    mnuHelp = menu("mnuHelp", 2125);
    mnuHelpContents = menu("mnuHelpContents", 2126);
    mnuHelpSearch = menu("mnuHelpSearch", 2129);
    mnuHelpSearch->setVisible(false);
    separator();
    mnuOrvane = menu("mnuOrvane", 2127);
    separator();
    mnuHelpAbout = menu("mnuHelpAbout", 2128);
    mnuPopUp = add<MenuEntry>(QStringLiteral("mnuPopUp"));
    mnuPopUp->setCaption(QStringLiteral("Popup Menu"));
    mnuPopUp->setVisible(false);
    mnuOpen = menu("mnuOpen", 2130);
    mnuHide = menu("mnuHide", 2131);
    mnuHide->setVisible(false);
    mnuExit = menu("mnuExit", 2132);
    separator();
    mnuAbout = menu("mnuAbout", 2128);
}

void frmMain::setGeometry(double left, double top, double width, double height) {
    Left = left;
    Top = top;
    Width = width;
    Height = height;
    emit geometryChanged();
}

void frmMain::setWindowState(int state) {
    if (state < 0 || state > 2)
        return;
    WindowState = state;
    emit geometryChanged();
}

frmDocument* frmMain::NewSession() {
    auto* document = new frmDocument(services_.host, services_.sessionComponents(), this);
    document->setCaption(LoadResString(kTextNew) + QStringLiteral(" - ") +
                         LoadResString(kTextConverter));
    documents_.push_back(document);
    activeDocument_ = document;
    emit documentAdded(document);
    return document;
}

void frmMain::closeDocument(frmDocument* document) {
    auto it = std::find(documents_.begin(), documents_.end(), document);
    if (it == documents_.end())
        return;
    documents_.erase(it);
    document->Form_Unload();
    emit documentRemoved(document);
    // A session window has no unload handling: its components go with it. One of its handlers
    // may still be on the stack, below a message box's event loop: the window is freed only
    // once control is back in an event loop outside the one it was closed in.
    closed_.push_back({document, QThread::currentThread()->loopLevel()});
    deleteClosedTimer_.start(0ms);
}

void frmMain::deleteClosedDocuments() {
    const int level = QThread::currentThread()->loopLevel();
    std::erase_if(closed_, [level](const ClosedDocument& closed) {
        // Closed outside any nested loop, no handler of the window can be below this one.
        if (closed.loopLevel > 1 && level >= closed.loopLevel)
            return false;
        delete closed.document;
        return true;
    });
    if (!closed_.empty())
        deleteClosedTimer_.start(kDeleteRetry);
}

frmDocument* frmMain::activeDocument() const {
    frmDocument* document = activeDocument_.data();
    if (std::find(documents_.begin(), documents_.end(), document) != documents_.end())
        return document;
    // The active window has closed: another one becomes active, as in the MDI area.
    return documents_.empty() ? nullptr : documents_.back();
}

void frmMain::setActiveDocument(frmDocument* document) {
    activeDocument_ = document;
}

void frmMain::closeAllDocuments() {
    while (!documents_.empty())
        closeDocument(documents_.back());
}

void frmMain::MDIForm_Load() {
    Timer1.start();
}

void frmMain::Timer1_Timer() {
    if (ExitRequested) {
        unloadMainWindow();
        return;
    }
    if (StartupDone)
        return;
    if (!AppStartup())
        return;
    // The service manager hears "ready" once the set is read and its sessions are started.
    reportServiceRunning();
    shown_ = true;
    Visible = true;
    emit showRequested();
    // A window stored minimized goes to the tray now.
    MDIForm_Resize();
}

// Runs once, in the first tick. Returns false when a service switch has ended the program.
bool frmMain::AppStartup() {
    // Relative folder names mean the folder the program was started in, also after this.
    anchorFolderVariables();
    QDir::setCurrent(dataFolder());
    LoadResource(*this);
    ExePath = executablePath();
    Timer1.stop();
    AutoActivateList.assign(2, 0);

    const StartupCommand command = parseCommandLine(services_.commandLine);
    if (command.action != StartupCommand::Action::None) {
        const bool ok = services_.serviceAction && services_.serviceAction(command);
        ended_ = true;
        emit ended(ok ? 0 : 1);
        return false;
    }
    QString setFile;
    if (!command.fileName.isEmpty())
        setFile = QDir(services_.startDirectory).absoluteFilePath(command.fileName);

    TrayIconAdded = services_.tray.add() ? 1 : 0;
    if (const QString problem = dataFolderProblem(); !problem.isEmpty())
        tell(problem + QStringLiteral("; the set is neither read from nor saved there"));
    shareVirtualPortsWithGroup(qEnvironmentVariableIsSet("NOTIFY_SOCKET")); // run as the service
    getprofilesettings(setFile);
    if (!services_.anotherInstanceRunning && !documents_.empty())
        documents_.front()->VSPort1().ResetBus();
    activateMarkedSessions();
    StartupDone = true;
    return true;
}

void frmMain::tell(const QString& text) {
    ErrorLog::reportProgramError(text);
    if (services_.host.interactive())
        services_.host.messageBox(text, QString(), MessageIcon::Exclamation);
}

void frmMain::activateMarkedSessions() {
    for (size_t n = 1; n <= documents_.size() && n < AutoActivateList.size(); ++n) {
        if (AutoActivateList[n] != 1)
            continue;
        documents_[n - 1]->Command1_Click();
        AutoActivateList[n] = 0;
    }
}

void frmMain::unloadMainWindow() {
    if (unloading_ || ended_)
        return;
    // Code up the stack of an open dialog may still hold a session window: close the dialogs
    // and end once their nested event loops have returned.
    if (insideNestedLoop()) {
        services_.host.closeModals();
        QTimer::singleShot(kUnloadRetry, this, &frmMain::unloadMainWindow);
        return;
    }
    unloading_ = true;
    // Before the start-up has read the set there is nothing to save, and saving would
    // overwrite the user's set with an empty one.
    if (StartupDone)
        MDIForm_QueryUnload();
    closeAllDocuments();
    MDIForm_Unload();
    ended_ = true;
    emit ended(0);
}

void frmMain::requestDeferredExit() {
    ExitRequested = true;
    Timer1.stop();
    Timer1.setInterval(kDeferredExitDelay);
    Timer1.start();
}

bool frmMain::insideNestedLoop() const {
    // Level 1 is the program's own loop; a modal dialog runs one more.
    return QThread::currentThread()->loopLevel() > 1;
}

void frmMain::MDIForm_QueryUnload() {
    writeprofilesettings(QString());
}

void frmMain::MDIForm_Unload() {
    reportServiceStopping();
    if (TrayIconAdded != 0)
        services_.tray.remove();
    TrayIconAdded = 0;
}
