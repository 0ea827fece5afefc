#include "gui/QtTrayIcon.h"

#include <QIcon>

QtTrayIcon::QtTrayIcon(QObject* parent)
    : QObject(parent) {
    icon_.setIcon(QIcon(QStringLiteral(":/lumivex.svg")));
    icon_.setToolTip(QStringLiteral("Lumivex"));
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (const int message = mouseMessage(reason))
                    emit mouseMessageReceived(message);
            });
}

int QtTrayIcon::mouseMessage(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return 514;
    case QSystemTrayIcon::DoubleClick:
        return 515;
    case QSystemTrayIcon::Context:
        return 517;
    case QSystemTrayIcon::MiddleClick:
        return 520;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 0;
}

bool QtTrayIcon::add() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    icon_.show();
    return icon_.isVisible();
}

void QtTrayIcon::remove() {
    icon_.hide();
}
