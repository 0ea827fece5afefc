#include "app/Display.h"

#include <QByteArray>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Connects to a Unix-domain socket (abstract when the name starts with '@').
bool canConnect(const QByteArray& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= static_cast<qsizetype>(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), name.size());
    socklen_t length = offsetof(sockaddr_un, sun_path) + name.size();
    if (name.startsWith('@'))
        address.sun_path[0] = '\0';
    else
        length += 1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(fd);
    return ok;
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
