#include "tests/support/IsolatedHome.h"

#include <QDir>

IsolatedHome::IsolatedHome() {
    const QByteArray root = QFile::encodeName(dir_.path());
    QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(dir_.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::pair<const char*, QByteArray> vars[] = {
        {"LUMIVEX_HOME", root + "/home"},
        {"LUMIVEX_PORTS", root + "/ports"},
        {"LUMIVEX_SYSTEMD_DIR", root + "/systemd"},
        {"XDG_CONFIG_HOME", root + "/config"},
        {"XDG_RUNTIME_DIR", root + "/runtime"},
        {"LC_ALL", "C"},
        {"LANG", "C"},
    };
    for (const auto& [name, value] : vars)
        env_.push_back(std::make_unique<ScopedEnv>(name, value));
    QDir(dir_.path()).mkpath(QStringLiteral("home"));
}

QString IsolatedHome::path(const QString& name) const {
    return name.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + name;
}
