#include "app/ServiceActions.h"

#include "app/ServiceControl.h"
#include "model/Host.h"
#include "text/StringTable.h"

namespace {

enum TextId {
    IdInstalled = 5061,
    IdNotInstalled = 5062,
    IdUninstalled = 5063,
    IdNotUninstalled = 5064,
};

const QString kDescription = QStringLiteral("RS232 to TCP/IP Converter");

void tell(Host& host, ServiceControl& service, int id, MessageIcon icon = MessageIcon::None,
          const QString& why = {}) {
    host.messageBox(service.displayName() + QLatin1Char(' ') + LoadResString(id) +
                        (why.isEmpty() ? QString() : QLatin1Char('\n') + why),
                    QStringLiteral("Lumivex"), icon);
}

bool install(bool hidden, bool silent, Host& host, ServiceControl& service) {
    if (hidden)
        service.setInteractive(false);
    if (!service.install()) {
        tell(host, service, IdNotInstalled, MessageIcon::Critical, service.error());
        return false;
    }
    service.saveSetting(QString(), QStringLiteral("Description"), kDescription);
    if (hidden)
        return true;
    service.addNetworkDependency();
    if (!silent)
        tell(host, service, IdInstalled);
    return true;
}

bool uninstall(bool silent, Host& host, ServiceControl& service) {
    if (!service.uninstall()) {
        tell(host, service, IdNotUninstalled);
        return false;
    }
    if (!silent)
        tell(host, service, IdUninstalled);
    return true;
}

} // namespace

bool performServiceAction(const StartupCommand& command, Host& host, ServiceControl& service) {
    switch (command.action) {
    case StartupCommand::Action::InstallHidden:
        return install(true, command.silent, host, service);
    case StartupCommand::Action::Install:
        return install(false, command.silent, host, service);
    case StartupCommand::Action::Uninstall:
        return uninstall(command.silent, host, service);
    case StartupCommand::Action::None:
        break;
    }
    return false;
}

bool performServiceAction(const StartupCommand& command, Host& host) {
    ServiceControl service;
    return performServiceAction(command, host, service);
}
