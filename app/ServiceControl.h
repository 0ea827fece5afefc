#pragma once
// The program as a system service: a systemd unit "lumivex.service" in $LUMIVEX_SYSTEMD_DIR
// (default /etc/systemd/system).
//
// Installing writes the unit; uninstalling removes it. systemctl is asked to reload and to
// enable only when the unit folder is the system's own and systemd is running; whether that
// works never decides success: writing or removing the unit does.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class ServiceControl {
public:
    // Starts `systemctl <arguments>`; fire and forget.
    using SystemctlRunner = std::function<void(const QStringList& arguments)>;

    // The unit starts `programPath`; the running executable when empty.
    explicit ServiceControl(QString programPath = {});

    QString displayName() const;
    // Kept for the install switches; a systemd service never talks to a desktop, so it
    // changes nothing in the unit.
    void setInteractive(bool interactive);
    bool interactive() const { return interactive_; }

    // Writes the unit (and enables it through systemctl when systemd runs it). False when the
    // unit cannot be written, the program path cannot be started by systemd, or a user other
    // than root could change the program that the service runs (error() says why).
    bool install();
    QString error() const { return error_; }
    // Removes the unit and its enablement link. False when there is no unit to remove or it
    // cannot be removed.
    bool uninstall();

    // The service's settings. The empty section's "Description" becomes the unit's
    // Description=; other settings have no place in a unit and give false. An installed unit
    // is rewritten at once.
    bool saveSetting(const QString& section, const QString& key, const QString& value);
    // Starts the service only once the network is up (After= and Wants=network-online.target);
    // the normal install adds it, the hidden one does not.
    bool addNetworkDependency();

    QString unitFolder() const { return folder_; }
    QString unitPath() const;
    QByteArray unitText() const;

    // For tests: see the systemctl commands instead of running them, and decide whether
    // systemd manages the unit folder.
    void setSystemctlRunner(SystemctlRunner runner) { runner_ = std::move(runner); }
    void setManagedBySystemd(bool managed) { managed_ = managed; }

private:
    bool writeUnit();
    bool rewriteInstalledUnit();
    void systemctl(const QStringList& arguments) const;

    QString programPath_;
    QString folder_;
    QString description_;
    QString error_;
    bool interactive_ = true;
    bool networkDependency_ = false;
    bool managed_ = false;
    SystemctlRunner runner_;
};
