// The program's entry: chooses windowed or headless mode, creates the main window model and
// its view, and runs the event loop until the model ends the program.

#include "app/CommandChannel.h"
#include "app/CommandLine.h"
#include "app/CommandTopics.h"
#include "app/Display.h"
#include "app/ExitSignals.h"
#include "app/InstanceLock.h"
#include "app/ServiceActions.h"
#include "app/frmMain.h"
#include "gui/DialogViews.h"
#include "gui/MainWindowView.h"
#include "gui/NetToolViews.h"
#include "gui/QtHost.h"
#include "gui/QtTrayIcon.h"
#include "model/HeadlessHost.h"
#include "net/NetTools.h"
#include "platform/linux/DescriptorLimit.h"
#include "session/ErrorLog.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>

namespace {

MainServices mainServices(Host& host, TrayIcon& tray, const InstanceLock& lock) {
    MainServices services{host, tray};
    services.commandLine = commandLineFromArguments(QCoreApplication::arguments());
    services.startDirectory = QDir::currentPath();
    services.anotherInstanceRunning = !lock.held();
    services.serviceAction = [&host](const StartupCommand& command) {
        return performServiceAction(command, host);
    };
    services.showPingTool = [&host] {
        ::showPingTool(host);
    };
    services.showResolveTool = [&host] {
        ::showResolveTool(host);
    };
    return services;
}

// A lock that cannot be checked leaves the virtual port bus alone; say why.
void reportLockProblem(const InstanceLock& lock) {
    if (!lock.error().isEmpty())
        std::fprintf(stderr, "lumivex: %s\n", qPrintable(lock.error()));
}

int run(QCoreApplication& app, frmMain& main) {
    // Other programs of this user drive the windows through the command socket; without
    // it the program still runs, only undriven.
    CommandChannel channel([&main](const QString& topic, const QString& command) {
        return executeCommand(main, topic, command);
    });
    if (!channel.listen())
        std::fprintf(stderr, "lumivex: no command channel: %s\n", qPrintable(channel.error()));
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::exitRequested, &main, &frmMain::unloadMainWindow);
    QObject::connect(
        &main, &frmMain::ended, &app, [](int status) { QCoreApplication::exit(status); },
        Qt::QueuedConnection);
    main.MDIForm_Load();
    return app.exec();
}

int runHeadless(int argc, char** argv) {
    // Qt's own event dispatcher: the GLib one wakes itself at every notifier switched on or
    // off, which a bridge does for every block it moves. Nothing headless needs GLib's loop.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const InstanceLock lock;
    reportLockProblem(lock);
    HeadlessHost host;
    NoTrayIcon tray;
    // Without a screen the sessions' log lines go to the journal too.
    ErrorLog::setEchoToStderr(true);
    frmMain main(mainServices(host, tray, lock));
    return run(app, main);
}

int runWindowed(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program lives on in the tray when its window hides.
    QApplication::setQuitOnLastWindowClosed(false);
    const InstanceLock lock;
    reportLockProblem(lock);
    QtHost host;
    registerNetToolViews(host);
    registerDialogViews(host);
    QtTrayIcon tray;
    frmMain main(mainServices(host, tray, lock));
    MainWindowView view(main, tray);
    host.setParentWidget(&view);
    return run(app, main);
}

} // namespace

int main(int argc, char** argv) {
    raiseDescriptorLimit();
    QCoreApplication::setApplicationName(QStringLiteral("Lumivex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMIVEX_VERSION));
    return headlessMode() ? runHeadless(argc, argv) : runWindowed(argc, argv);
}
