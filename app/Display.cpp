#include "app/Display.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"

#include <QByteArray>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <sys/socket.h>

namespace {

// Connects to a Unix-domain socket (abstract when the name starts with '@').
bool canConnect(const QByteArray& name) {
    const UnixSocketPath address(name);
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return address.valid() && fd && ::connect(fd.get(), address.get(), address.length()) == 0;
}

bool x11Reachable(const QString& display) {
    // ":0", ":0.0", "unix:0" are local; anything with a host name is left to Qt.
    static const QRegularExpression local(QStringLiteral("^(unix)?:(\\d+)(\\.\\d+)?$"));
    const auto match = local.match(display);
    if (!match.hasMatch())
        return true;
    const QByteArray path = "/tmp/.X11-unix/X" + match.captured(2).toLatin1();
    return canConnect(path) || canConnect('@' + path);
}

bool waylandReachable(const QString& display) {
    QString path = display;
    if (!QFileInfo(path).isAbsolute())
        path = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + display;
    return canConnect(path.toLocal8Bit());
}

} // namespace

bool headlessMode() {
    if (qEnvironmentVariable("LUMIVEX_HEADLESS") == QLatin1String("1"))
        return true;
    // A platform chosen explicitly (offscreen, vnc, ...) needs no display of ours to check.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")) &&
        !platform.startsWith(QLatin1String("wayland")))
        return false;
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty() && waylandReachable(wayland))
        return false;
    const QString x11 = qEnvironmentVariable("DISPLAY");
    if (!x11.isEmpty() && x11Reachable(x11))
        return false;
    return true;
}
