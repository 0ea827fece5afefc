#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kFolderVariables[] = {"LUMIVEX_HOME", "LUMIVEX_PORTS", "XDG_RUNTIME_DIR"};

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// The variable's folder, absolute (a relative one is taken from the current folder).
QString envFolder(const char* name) {
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        return {};
    return withoutTrailingSlash(QDir::cleanPath(QDir::current().absoluteFilePath(value)));
}

enum class LinkToFolder { Refused, Followed };

// Why `path` cannot be trusted: not a real folder (a link is not, unless followed), another
// user's, or open to others in the `forbidden` mode bits. Empty when it can.
QString folderProblem(const QString& path, mode_t forbidden,
                      LinkToFolder link = LinkToFolder::Refused) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    const int found = link == LinkToFolder::Followed ? ::stat(native.constData(), &st)
                                                     : ::lstat(native.constData(), &st);
    if (found != 0)
        return QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(path);
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user").arg(path);
    if ((st.st_mode & forbidden) != 0)
        return QStringLiteral("%1 is open to other users").arg(path);
    return {};
}

} // namespace

void anchorFolderVariables() {
    for (const char* name : kFolderVariables) {
        const QString folder = envFolder(name);
        if (!folder.isEmpty())
            qputenv(name, QFile::encodeName(folder));
    }
}

QString executablePath() {
    const QString real = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return real.isEmpty() ? QCoreApplication::applicationFilePath() : real;
}

bool keepsDataBesideProgram(const QString& programFolder) {
    const QString name = QFileInfo(withoutTrailingSlash(programFolder)).fileName();
    return name != QLatin1String("bin") && name != QLatin1String("sbin");
}

QString userHomeFolder() {
    const QString home = withoutTrailingSlash(qEnvironmentVariable("HOME"));
    if (!QDir::isAbsolutePath(home) || home == QLatin1String("/"))
        return {};
    struct stat st {};
    if (::stat(QFile::encodeName(home).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid())
        return {};
    return home;
}

QString userConfigFolder() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configured))
        return withoutTrailingSlash(configured);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString dataFolder() {
    const QString home = envFolder("LUMIVEX_HOME");
    if (!home.isEmpty())
        return home;
    const QString programFolder = QFileInfo(executablePath()).absolutePath();
    if (keepsDataBesideProgram(programFolder) &&
        ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0 &&
        folderProblem(programFolder, S_IWGRP | S_IWOTH).isEmpty())
        return programFolder;
    const QString config = userConfigFolder() + QStringLiteral("/lumivex");
    if (QDir().mkpath(userConfigFolder()))
        ::mkdir(QFile::encodeName(config).constData(), 0700);
    return config;
}

QString dataFolderProblem() {
    const QString problem = folderProblem(dataFolder(), S_IWGRP | S_IWOTH, LinkToFolder::Followed);
    return problem.isEmpty() ? QString() : QStringLiteral("data folder refused: ") + problem;
}

QString portsFolder() {
    const QString ports = envFolder("LUMIVEX_PORTS");
    return ports.isEmpty() ? dataFolder() + QStringLiteral("/ports") : ports;
}

QString preparePortsFolder() {
    const QString path = portsFolder();
    // Made 0755 whatever the umask: a folder that others may write would be refused below.
    const bool made = QDir().mkpath(QFileInfo(path).absolutePath()) &&
                      (::mkdir(QFile::encodeName(path).constData(), 0755) == 0 || errno == EEXIST);
    if (!made)
        return QStringLiteral("cannot create the ports folder %1").arg(path);
    // Others may read the mappings, but whoever may write here could make this program
    // write through a planted link.
    const QString problem = folderProblem(path, S_IWGRP | S_IWOTH);
    return problem.isEmpty() ? QString() : QStringLiteral("ports folder refused: ") + problem;
}

RuntimeFolder runtimeFolder() {
    QString path = envFolder("XDG_RUNTIME_DIR");
    if (!path.isEmpty())
        path += QStringLiteral("/lumivex");
    else if (::geteuid() == 0)
        path = QStringLiteral("/run/lumivex");
    else
        path = QStringLiteral("/tmp/lumivex-%1").arg(::geteuid());

    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return {{}, QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(errno))};
    const QString problem = folderProblem(path, S_IRWXG | S_IRWXO);
    return problem.isEmpty() ? RuntimeFolder{path, {}} : RuntimeFolder{{}, problem};
}

QString rootOnlyProblem(const QString& path) {
    QString current = QFileInfo(path).canonicalFilePath();
    if (current.isEmpty())
        return QStringLiteral("cannot find %1").arg(path);
    for (bool file = true;; file = false) {
        struct stat st {};
        if (::lstat(QFile::encodeName(current).constData(), &st) != 0)
            return QStringLiteral("cannot read %1: %2").arg(current, qt_error_string(errno));
        const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (st.st_uid != 0)
            return QStringLiteral("%1 belongs to a user other than root").arg(current);
        if (othersWrite && (file || (st.st_mode & S_ISVTX) == 0))
            return QStringLiteral("%1 may be written by users other than root").arg(current);
        if (current == QLatin1String("/"))
            return {};
        current = QFileInfo(current).absolutePath();
    }
}
