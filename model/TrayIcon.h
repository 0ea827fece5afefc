#pragma once
// The program's icon in the desktop's notification area, as the main window model sees it.

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Shows the icon; false when the desktop has no notification area.
    virtual bool add() = 0;
    virtual void remove() = 0;
};

// A program without a screen has no tray.
class NoTrayIcon : public TrayIcon {
public:
    bool add() override { return false; }
    void remove() override {}
};
