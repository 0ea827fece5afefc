#include "platform/HostResolve.h"

#include <QHostInfo>
#include <QPointer>
#include <QStringList>

void ResolveHostAddress(const QString& name, QObject* context,
                        std::function<void(const QString&)> done) {
    // The context is watched here rather than given to Qt: Qt 6.4 leaks the callback of a
    // look-up whose context is destroyed first.
    QHostInfo::lookupHost(name, [context = QPointer<QObject>(context),
                                 done = std::move(done)](const QHostInfo& info) {
        if (!context)
            return;
        for (const QHostAddress& address : info.addresses()) {
            bool isIPv4 = false;
            const quint32 numeric = address.toIPv4Address(&isIPv4);
            if (!isIPv4)
                continue;
            QByteArray bytes(4, '\0');
            for (int i = 0; i < 4; ++i)
                bytes[i] = static_cast<char>(numeric >> (24 - 8 * i));
            done(DottedAddress(bytes));
            return;
        }
        done(QString());
    });
}

QString DottedAddress(const QByteArray& bytes) {
    QStringList parts;
    for (int i = 0; i < bytes.size() && i < 4; ++i)
        parts << QString::number(static_cast<quint8>(bytes[i]));
    return parts.join(QLatin1Char('.'));
}
