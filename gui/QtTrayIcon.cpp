#include "gui/QtTrayIcon.h"

#include "gui/ProgramIcon.h"

QtTrayIcon::QtTrayIcon(QObject* parent)
    : QObject(parent) {
    icon_.setIcon(programIcon());
    icon_.setToolTip(QStringLiteral("Lumivex"));
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger)
            emit openRequested();
    });
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
