#pragma once
// A main window model over real files in an isolated home, a scripted host and a fake tray.

#include "app/frmMain.h"
#include "model/GlobalSettings.h"
#include "model/TrayIcon.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <gtest/gtest.h>
#include <memory>

class FakeTray : public TrayIcon {
public:
    bool available = false;
    int removals = 0;
    bool add() override { return available; }
    void remove() override { ++removals; }
};

class MainFixture : public ::testing::Test {
protected:
    MainFixture() { globals() = GlobalSettings{}; } // the settings outlive a test's windows
    std::unique_ptr<frmMain> makeMain(const QString& commandLine = {}) {
        MainServices services{host, tray};
        services.commandLine = commandLine;
        services.startDirectory = home.path();
        services.anotherInstanceRunning = anotherInstance;
        return std::make_unique<frmMain>(services);
    }
    std::unique_ptr<frmMain> started(const QString& commandLine = {}) {
        auto main = makeMain(commandLine);
        main->Timer1_Timer();
        return main;
    }
    QString defaultFile() const { return home.path(QStringLiteral("home/default.lvx")); }

    IsolatedHome home;
    ScriptedHost host;
    FakeTray tray;
    bool anotherInstance = false;
};
