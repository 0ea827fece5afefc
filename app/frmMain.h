#pragma once
// The main window: holds the session windows, runs the start-up once and the exit sequence,
// and reads and writes session set files. Views show it; the headless mode runs it alone.

#include "app/CommandLine.h"
#include "app/HelpFiles.h"
#include "model/Form.h"
#include "session/frmDocument.h"

#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

class Host;
class IniFile;
class TrayIcon;

// What the main window needs from the process around it.
struct MainServices {
    Host& host;
    TrayIcon& tray;
    // The command line as one text (the arguments joined by single blanks).
    QString commandLine{};
    // Where the program was started; relative set-file names on the command line resolve here.
    QString startDirectory{};
    // True when another instance of the program already runs (it keeps the bus as it is).
    bool anotherInstanceRunning = false;
    // Carries out a service switch with its messages; returns whether it succeeded.
    std::function<bool(const StartupCommand&)> serviceAction{};
    // Makes the components of a new session window.
    std::function<SessionComponents()> sessionComponents = &SessionComponents::linuxComponents;
    // The Tools menu's windows; nothing happens while they are not connected.
    std::function<void()> showPingTool = nullptr;
    std::function<void()> showResolveTool = nullptr;
    // The help's start page (index.html), or empty when no help is installed.
    std::function<QString()> helpFile = &helpIndexFile;
};

class frmMain : public Form {
    Q_OBJECT
public:
    explicit frmMain(MainServices services, QObject* parent = nullptr);
    ~frmMain() override;

    // Menus (captions hold their text ids until the texts are loaded).
    MenuEntry* mnuFile;
    MenuEntry* mnuFileNew;
    MenuEntry* mnuFileOpen;
    MenuEntry* mnuFileClose;
    MenuEntry* mnuFileSave;
    MenuEntry* mnuFileSaveAs;
    MenuEntry* mnuOptions;
    MenuEntry* mPassword;
    MenuEntry* mnuFileExit;
    MenuEntry* mnuWindow;
    MenuEntry* mnuWindowCascade;
    MenuEntry* mnuWindowTileHorizontal;
    MenuEntry* mnuWindowTileVertical;
    MenuEntry* mnuWindowArrangeIcons;
    MenuEntry* MTools;
    MenuEntry* mPingTool;
    MenuEntry* mResolve;
    MenuEntry* mnuHelp;
    MenuEntry* mnuHelpContents;
    MenuEntry* mnuHelpSearch;
    MenuEntry* mnuOrvane;
    MenuEntry* mnuHelpAbout;
    MenuEntry* mnuPopUp;
    MenuEntry* mnuOpen;
    MenuEntry* mnuHide;
    MenuEntry* mnuExit;
    MenuEntry* mnuAbout;

    QTimer Timer1; // one second after loading: the start-up; later the deferred exit

    bool StartupDone = false;
    bool ExitRequested = false;
    std::vector<qint16> AutoActivateList;
    QString CurrentFileName;
    QString ExePath;
    int TrayIconAdded = 0;
    // Set whenever the window is minimized; cleared by the right password on restoring.
    bool RestoreLocked = false;

    // Place and size in twips, and the state: 0 normal, 1 minimized, 2 maximized. The view
    // keeps them in step with the real window; without one they stay as read.
    double Left = 1000;
    double Top = 1000;
    double Width = 7000;
    double Height = 7000;
    int WindowState = 0;
    void setGeometry(double left, double top, double width, double height);
    void setWindowState(int state);
    bool isShown() const { return shown_; }
    // The window changes its state (by the user or from code): stores it, asks the view to
    // follow and runs the resize handling. The view reports a user's change here.
    void changeWindowState(int state);
    // Whether the window is visible; false while it hides in the tray.
    bool Visible = false;
    void setVisible(bool visible);
    // Minimizing hides the window in the tray; restoring asks for the password.
    void MDIForm_Resize();
    // The tray icon's mouse message arrives as X, in twips: a click or double click restores.
    void Picture1_MouseMove(double X);

    // Session windows in the order they were created.
    const std::vector<frmDocument*>& documents() const { return documents_; }
    frmDocument* NewSession();
    // Removes the window now; frees it once no handler of it can be on the stack.
    void closeDocument(frmDocument* document);
    // The active session window (the view reports activation), or nullptr.
    frmDocument* activeDocument() const;
    void setActiveDocument(frmDocument* document);

    // Menu handlers (app/MainMenu.cpp).
    void mnuFile_Click();
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuOptions_Click();
    void mPassword_Click();
    void mnuFileExit_Click();
    void mPingTool_Click();
    void mResolve_Click();
    void mnuHelpContents_Click();
    void mnuOrvane_Click();
    void mnuHelpAbout_Click();
    void mnuOpen_Click();
    void mnuHide_Click();
    void mnuExit_Click();
    void deleteClosedDocuments();

    void MDIForm_Load();
    void Timer1_Timer();
    // Ends the program the normal way: saves the set to the default file, closes the
    // session windows, removes the tray icon. Runs once.
    void unloadMainWindow();
    // "[APPEXIT]": the next tick of Timer1, half a second from now, unloads the main window.
    void requestDeferredExit();

    void getprofilesettings(const QString& FileName);
    // False, and a line on stderr, when the set cannot be written.
    bool writeprofilesettings(const QString& FileName);
    // The default set file: default.lvx in the data folder.
    static QString defaultSetFile();

signals:
    void documentAdded(frmDocument* document);
    void documentRemoved(frmDocument* document);
    void geometryChanged();
    void showRequested();
    // The view follows the model's state and visibility.
    void windowStateRequested(int state);
    void visibilityRequested(bool visible);
    // The view arranges the session windows: 0 cascade, 1 tile horizontally, 2 tile
    // vertically, 3 arrange the icons of minimized windows.
    void arrangeRequested(int arrangement);
    // The view brings the program to the front.
    void activateRequested();
    // The program ends with this exit status.
    void ended(int status);

private:
    void createMenus();
    void connectMenus();
    void restoreCheck();
    bool passwordEntered();
    bool insideNestedLoop() const;
    MenuEntry* menu(const char* name, int id);
    MenuEntry* separator();
    bool AppStartup();
    void activateMarkedSessions();
    void closeAllDocuments();
    void MDIForm_QueryUnload();
    void MDIForm_Unload();
    QString resolveSetFile(const QString& FileName) const;
    QString readableSetFile(const QString& FileName) const;
    void takeErrorCommand(const IniFile& ini, bool defaultSet);
    // A problem the user should know of: in the error log and on stderr, and in a message box
    // where there is a screen.
    void tell(const QString& text);

    MainServices services_;
    std::vector<frmDocument*> documents_;
    QPointer<frmDocument> activeDocument_;
    QPointer<Form> aboutBox_;
    bool resizing_ = false;
    struct ClosedDocument {
        frmDocument* document;
        int loopLevel; // the event loop level it was closed in
    };
    std::vector<ClosedDocument> closed_;
    QTimer deleteClosedTimer_;
    bool shown_ = false;
    bool unloading_ = false;
    bool ended_ = false;
};
