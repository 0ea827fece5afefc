#include "app/ServiceControl.h"

#include "platform/AtomicFile.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

const QString defaultUnitFolder = QStringLiteral("/etc/systemd/system");
const QString unitName = QStringLiteral("lumivex.service");
const QString serviceDisplayName = QStringLiteral("Lumivex");
constexpr mode_t unitMode = 0644;

QString configuredUnitFolder() {
    const QString configured = qEnvironmentVariable("LUMIVEX_SYSTEMD_DIR");
    return QDir::cleanPath(configured.isEmpty() ? defaultUnitFolder : configured);
}

bool systemdIsRunning() {
    return QFileInfo(QStringLiteral("/run/systemd/system")).isDir();
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

// A unit file expands "%x" placeholders everywhere and "$NAME" in command lines; inside
// double quotes a backslash starts an escape.
QString quotedCommand(const QString& path) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('%') || c == QLatin1Char('$'))
            quoted += c;
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString unitDescription(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    while (text.endsWith(QLatin1Char('\\')))
        text.chop(1); // a trailing backslash would join the next line
    return text.trimmed();
}

void startSystemctl(const QStringList& arguments) {
    // Detached: the install switches end the program right away, and nothing waits on it.
    QProcess::startDetached(QStringLiteral("systemctl"), arguments);
}

bool removeFile(const QString& path) {
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

} // namespace

ServiceControl::ServiceControl(QString programPath)
    : programPath_(programPath.isEmpty() ? executablePath() : std::move(programPath))
    , folder_(configuredUnitFolder())
    , description_(serviceDisplayName)
    , managed_(folder_ == defaultUnitFolder && systemdIsRunning())
    , runner_(startSystemctl) {}

QString ServiceControl::displayName() const {
    return serviceDisplayName;
}

void ServiceControl::setInteractive(bool interactive) {
    interactive_ = interactive;
}

QString ServiceControl::unitPath() const {
    return folder_ + QLatin1Char('/') + unitName;
}

QByteArray ServiceControl::unitText() const {
    QString text = QStringLiteral("[Unit]\nDescription=%1\n").arg(unitDescription(description_));
    if (networkDependency_)
        text += QStringLiteral("After=network-online.target\nWants=network-online.target\n");
    // An account of its own made at each start, with the serial ports' group; the sets and the
    // log in /var/lib/lumivex. The virtual ports and the command socket go to
    // /run/lumivex-service, which, unlike the state folder, other users may enter: a member of
    // dialout opens /run/lumivex-service/ports/COMn. It is not /run/lumivex, the runtime folder
    // of a program that root starts by hand beside the service.
    text += QStringLiteral("\n[Service]\n"
                           "Type=notify\n"
                           "ExecStart=%1\n"
                           "Environment=LUMIVEX_HEADLESS=1\n"
                           "DynamicUser=yes\n"
                           "SupplementaryGroups=dialout\n"
                           "StateDirectory=lumivex\n"
                           "Environment=LUMIVEX_HOME=/var/lib/lumivex\n"
                           "RuntimeDirectory=lumivex-service\n"
                           "Environment=XDG_RUNTIME_DIR=/run/lumivex-service\n"
                           "Environment=LUMIVEX_PORTS=/run/lumivex-service/ports\n"
                           "AmbientCapabilities=CAP_NET_RAW\n"
                           "CapabilityBoundingSet=CAP_NET_RAW\n"
                           "NoNewPrivileges=yes\n"
                           "ProtectSystem=strict\n"
                           "ProtectHome=yes\n"
                           "PrivateTmp=yes\n"
                           "Restart=on-failure\n"
                           "\n[Install]\n"
                           "WantedBy=multi-user.target\n")
                .arg(quotedCommand(programPath_));
    return text.toUtf8();
}

bool ServiceControl::writeUnit() {
    // systemd starts only absolute paths, and a line break would end the ExecStart line.
    if (!QDir::isAbsolutePath(programPath_) || hasControlCharacter(programPath_))
        return false;
    // The service runs whatever is at that path: whoever could change it would run as the
    // service, with its capabilities and devices.
    if (const QString problem = rootOnlyProblem(programPath_); !problem.isEmpty()) {
        error_ = problem + QStringLiteral(". Install Lumivex first (cmake --install) and install "
                                          "the service with the installed program.");
        return false;
    }
    if (!QFileInfo(folder_).isDir())
        return false;
    return writeFileAtomically(unitPath(), unitText(), unitMode);
}

bool ServiceControl::install() {
    if (!writeUnit())
        return false;
    systemctl({QStringLiteral("daemon-reload")});
    systemctl({QStringLiteral("enable"), unitName});
    return true;
}

bool ServiceControl::uninstall() {
    if (!QFileInfo(unitPath()).isFile())
        return false; // nothing installed: saying it was removed would be untrue
    // What "systemctl disable" would do for this unit, done here because it must happen
    // while the unit file still exists and a detached systemctl cannot be waited for.
    const QString wantsLink = folder_ + QStringLiteral("/multi-user.target.wants/") + unitName;
    if (QFileInfo(wantsLink).isSymLink())
        removeFile(wantsLink);
    if (!removeFile(unitPath()))
        return false;
    systemctl({QStringLiteral("daemon-reload")});
    return true;
}

bool ServiceControl::rewriteInstalledUnit() {
    if (!QFileInfo(unitPath()).isFile())
        return true; // kept for the install
    if (!writeUnit())
        return false;
    systemctl({QStringLiteral("daemon-reload")});
    return true;
}

bool ServiceControl::saveSetting(const QString& section, const QString& key, const QString& value) {
    if (!section.isEmpty() || key.compare(QLatin1String("Description"), Qt::CaseInsensitive) != 0)
        return false;
    description_ = value;
    return rewriteInstalledUnit();
}

bool ServiceControl::addNetworkDependency() {
    networkDependency_ = true;
    return rewriteInstalledUnit();
}

void ServiceControl::systemctl(const QStringList& arguments) const {
    if (managed_ && runner_)
        runner_(arguments);
}
