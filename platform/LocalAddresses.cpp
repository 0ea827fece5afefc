#include "platform/LocalAddresses.h"

#include <QNetworkInterface>

QStringList localIPv4Addresses() {
    QStringList outward;
    QStringList loopback;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            (address.isLoopback() ? loopback : outward).append(address.toString());
        }
    }
    return outward + loopback;
}
