#pragma once
// The tray icon of the windowed program. It exists only where the desktop has a tray. Mouse
// events on it reach the main window model as the mouse messages it decodes.

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

    // The mouse message of an activation: 514 left button up, 515 left double click,
    // 517 right button up, 520 middle button up; 0 for anything else.
    static int mouseMessage(QSystemTrayIcon::ActivationReason reason);

signals:
    void mouseMessageReceived(int message);

private:
    QSystemTrayIcon icon_;
};
