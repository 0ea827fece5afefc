#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString envPath(const char* name) {
    return qEnvironmentVariable(name);
}

QString homeConfigFolder() {
    QString base = envPath("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/lumivex");
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString executablePath() {
    const QString real = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return real.isEmpty() ? QCoreApplication::applicationFilePath() : real;
}

QString dataFolder() {
    const QString home = envPath("LUMIVEX_HOME");
    if (!home.isEmpty())
        return withoutTrailingSlash(home);
    const QString exeFolder = QFileInfo(executablePath()).absolutePath();
    if (::access(QFile::encodeName(exeFolder).constData(), W_OK) == 0)
        return exeFolder;
    const QString config = homeConfigFolder();
    QDir().mkpath(config);
    return config;
}

QString portsFolder() {
    const QString ports = envPath("LUMIVEX_PORTS");
    if (!ports.isEmpty())
        return withoutTrailingSlash(ports);
    return dataFolder() + QStringLiteral("/ports");
}

bool ensurePortsFolder() {
    return QDir().mkpath(portsFolder());
}

RuntimeFolder runtimeFolder() {
    QString path;
    const QString xdg = envPath("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty())
        path = withoutTrailingSlash(xdg) + QStringLiteral("/lumivex");
    else if (::geteuid() == 0)
        path = QStringLiteral("/run/lumivex");
    else
        path = QStringLiteral("/tmp/lumivex-%1").arg(::geteuid());

    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {{}, QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(errno))};

    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return {{}, QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(errno))};
    if (!S_ISDIR(st.st_mode))
        return {{}, QStringLiteral("%1 is not a folder").arg(path)};
    if (st.st_uid != ::geteuid())
        return {{}, QStringLiteral("%1 belongs to another user").arg(path)};
    if ((st.st_mode & 077) != 0)
        return {{}, QStringLiteral("%1 is open to other users").arg(path)};
    return {path, {}};
}
