#pragma once
// The tray icon of the windowed program. It exists only where the desktop has a tray.

#include "model/TrayIcon.h"

#include <QObject>
#include <QSystemTrayIcon>

class QtTrayIcon : public QObject, public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    bool add() override;
    void remove() override;
    QSystemTrayIcon& icon() { return icon_; }

signals:
    // A double click (or a single click, where the desktop sends only that) on the icon.
    void openRequested();

private:
    QSystemTrayIcon icon_;
};
