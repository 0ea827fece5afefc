#include "app/AutoStart.h"

#include "platform/AtomicFile.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr mode_t entryMode = 0644; // desktop sessions of every user read it

// Empty for the current user when they have no home folder (a service): their desktop, if any,
// would never read the entry, and "/.config" is nobody's.
QString autostartFolder(bool currentUser, const QString& systemConfigFolder) {
    if (currentUser)
        return userHomeFolder().isEmpty() ? QString()
                                          : userConfigFolder() + QStringLiteral("/autostart");
    const QString system =
        systemConfigFolder.isEmpty() ? QStringLiteral("/etc/xdg") : systemConfigFolder;
    return system + QStringLiteral("/autostart");
}

// The value name becomes a file name: it must stay one name inside the folder.
bool isUsableName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// One argument of an Exec key: quoted, with the characters that mean something inside quotes
// escaped and '%' doubled (it starts a field code otherwise).
QString quotedArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

// A desktop entry's string values are unescaped before the Exec quoting is read, so every
// backslash is escaped once more, and control characters are written as escapes.
QString escapedValue(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else
            escaped += c;
    }
    return escaped;
}

bool removeEntry(const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return true;
    return errno == ENOENT || errno == ENOTDIR;
}

} // namespace

QByteArray autoStartEntry(const QString& ProgramPath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Lumivex\n"
                          "Exec=%1\n")
        .arg(escapedValue(quotedArgument(ProgramPath)))
        .toUtf8();
}

bool SetAutoStart(bool Enable, const QString& ValueName, const QString& ProgramPath,
                  bool CurrentUser, bool EveryLogon, const QString& systemConfigFolder) {
    Q_UNUSED(EveryLogon); // an autostart entry runs at every logon either way
    if (!isUsableName(ValueName))
        return false;
    const QString folder = autostartFolder(CurrentUser, systemConfigFolder);
    if (folder.isEmpty())
        return !Enable; // without a home there is no entry to remove either
    const QString path = folder + QLatin1Char('/') + ValueName + QStringLiteral(".desktop");
    if (!Enable)
        return removeEntry(path);
    if (!QDir().mkpath(folder))
        return false;
    return writeFileAtomically(path, autoStartEntry(ProgramPath), entryMode);
}
