// The systemd unit: its text, install and uninstall in a unit folder, and systemctl.

#include "app/ServiceControl.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QByteArray description = "RS232 to TCP/IP Converter";

QByteArray unitFor(const QByteArray& descriptionLine, bool network, const QByteArray& exec) {
    QByteArray text = "[Unit]\nDescription=" + descriptionLine + "\n";
    if (network)
        text += "After=network-online.target\nWants=network-online.target\n";
    return text +
           "\n[Service]\n"
           "Type=notify\n"
           "ExecStart=" +
           exec +
           "\n"
           "Environment=LUMIVEX_HEADLESS=1\n"
           "StateDirectory=lumivex\n"
           "Environment=LUMIVEX_HOME=/var/lib/lumivex\n"
           "AmbientCapabilities=CAP_NET_RAW\n"
           "Restart=on-failure\n"
           "\n[Install]\n"
           "WantedBy=multi-user.target\n";
}

class ServiceControlTest : public ::testing::Test {
protected:
    ServiceControlTest()
        : folder_("LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.path())) {}

    // A control whose systemctl commands are recorded instead of run.
    ServiceControl control(const QString& program = QStringLiteral("/opt/lumivex/lumivex")) {
        ServiceControl service(program);
        service.setSystemctlRunner([this](const QStringList& args) { commands << args; });
        return service;
    }
    QString unit() const { return dir.filePath(QStringLiteral("lumivex.service")); }

    QTemporaryDir dir;
    ScopedEnv folder_;
    QList<QStringList> commands;
};

TEST_F(ServiceControlTest, NormalInstallWritesTheUnitWithDescriptionAndNetworkDependency) {
    ServiceControl service = control();
    EXPECT_EQ(service.displayName(), "Lumivex");
    EXPECT_EQ(service.unitPath(), unit());
    ASSERT_TRUE(service.install());
    ASSERT_TRUE(service.saveSetting(QString(), "Description", QString::fromUtf8(description)));
    ASSERT_TRUE(service.addNetworkDependency());
    EXPECT_EQ(readWholeFile(unit()), unitFor(description, true, "\"/opt/lumivex/lumivex\""));
    EXPECT_EQ(QFileInfo(unit()).permissions() & QFile::ReadOther, QFile::ReadOther);
}

TEST_F(ServiceControlTest, HiddenInstallHasNoNetworkDependency) {
    ServiceControl service = control();
    service.setInteractive(false);
    EXPECT_FALSE(service.interactive());
    ASSERT_TRUE(service.install());
    ASSERT_TRUE(service.saveSetting(QString(), "Description", QString::fromUtf8(description)));
    EXPECT_EQ(readWholeFile(unit()), unitFor(description, false, "\"/opt/lumivex/lumivex\""));
}

TEST_F(ServiceControlTest, UnitBeforeTheDescriptionIsSavedNamesTheService) {
    ServiceControl service = control();
    ASSERT_TRUE(service.install());
    EXPECT_EQ(readWholeFile(unit()), unitFor("Lumivex", false, "\"/opt/lumivex/lumivex\""));
}

TEST_F(ServiceControlTest, DescriptionSavedBeforeInstallIsUsedByIt) {
    ServiceControl service = control();
    EXPECT_TRUE(service.saveSetting(QString(), "description", "Early"));
    EXPECT_FALSE(QFileInfo::exists(unit()));
    ASSERT_TRUE(service.install());
    EXPECT_TRUE(readWholeFile(unit()).startsWith("[Unit]\nDescription=Early\n"));
}

TEST_F(ServiceControlTest, OnlyTheDescriptionSettingHasAPlace) {
    ServiceControl service = control();
    EXPECT_FALSE(service.saveSetting("Parameters", "Description", "x"));
    EXPECT_FALSE(service.saveSetting(QString(), "Other", "x"));
}

TEST_F(ServiceControlTest, DescriptionCannotBreakTheUnit) {
    ServiceControl service = control();
    ASSERT_TRUE(service.install());
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "100% up\nExecStartPre=/bin/evil\\"));
    const QByteArray text = readWholeFile(unit());
    EXPECT_TRUE(text.startsWith("[Unit]\nDescription=100%% up ExecStartPre=/bin/evil\n\n"));
    EXPECT_FALSE(text.contains("\nExecStartPre"));
}

struct ExecRow {
    const char* name;
    QString program;
    QByteArray exec;
};

class ServiceControlExec : public ServiceControlTest,
                           public ::testing::WithParamInterface<ExecRow> {};

TEST_P(ServiceControlExec, ProgramPathIsQuotedAndEscaped) {
    ServiceControl service = control(GetParam().program);
    ASSERT_TRUE(service.install());
    EXPECT_TRUE(readWholeFile(unit()).contains("\nExecStart=" + GetParam().exec + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ServiceControlExec,
    ::testing::Values(ExecRow{"plain", "/usr/bin/lumivex", "\"/usr/bin/lumivex\""},
                      ExecRow{"blanks", "/opt/My Apps/lumivex", "\"/opt/My Apps/lumivex\""},
                      ExecRow{"quote", "/opt/a\"b/lumivex", "\"/opt/a\\\"b/lumivex\""},
                      ExecRow{"backslash", "/opt/a\\b/lumivex", "\"/opt/a\\\\b/lumivex\""},
                      ExecRow{"percent", "/opt/100%/lumivex", "\"/opt/100%%/lumivex\""},
                      ExecRow{"variable", "/opt/$HOME/lumivex", "\"/opt/$$HOME/lumivex\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceControlTest, InstallFailsWhereNoUnitCanBeWritten) {
    // Tests run as root, which ignores mode bits: the failures come from what the paths are.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("lumivex.service")));
    EXPECT_FALSE(control().install());
    EXPECT_TRUE(QFileInfo(unit()).isDir());

    const QString file = dir.filePath(QStringLiteral("not-a-folder"));
    ASSERT_TRUE(writeWholeFile(file, "x"));
    const ScopedEnv fileAsFolder("LUMIVEX_SYSTEMD_DIR", QFile::encodeName(file));
    EXPECT_FALSE(control().install());

    const ScopedEnv missing("LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.filePath("missing")));
    EXPECT_FALSE(control().install());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(ServiceControlTest, InstallRefusesAProgramPathSystemdCannotStart) {
    EXPECT_FALSE(control(QStringLiteral("relative/lumivex")).install());
    EXPECT_FALSE(control(QStringLiteral("/opt/a\nExecStartPre=/bin/evil")).install());
    EXPECT_FALSE(QFileInfo::exists(unit()));
}

TEST_F(ServiceControlTest, UninstallRemovesTheUnitAndItsEnablement) {
    ServiceControl service = control();
    ASSERT_TRUE(service.install());
    const QString wants = dir.filePath(QStringLiteral("multi-user.target.wants"));
    ASSERT_TRUE(QDir().mkpath(wants));
    ASSERT_TRUE(QFile::link(unit(), wants + QStringLiteral("/lumivex.service")));
    ASSERT_TRUE(QFile::link(unit(), wants + QStringLiteral("/other.service")));

    EXPECT_TRUE(control().uninstall());
    EXPECT_FALSE(QFileInfo::exists(unit()));
    EXPECT_FALSE(QFileInfo(wants + QStringLiteral("/lumivex.service")).isSymLink());
    EXPECT_TRUE(QFileInfo(wants + QStringLiteral("/other.service")).isSymLink());
}

TEST_F(ServiceControlTest, UninstallFailsWithNoUnitOrOneThatCannotBeRemoved) {
    EXPECT_FALSE(control().uninstall());

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("lumivex.service")));
    EXPECT_FALSE(control().uninstall());
    EXPECT_TRUE(QFileInfo(unit()).isDir());
}

TEST_F(ServiceControlTest, SystemctlIsNotRunForAFolderOtherThanTheSystems) {
    ServiceControl service = control();
    ASSERT_TRUE(service.install());
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "x"));
    ASSERT_TRUE(service.uninstall());
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(ServiceControlTest, SystemctlReloadsAndEnablesWhenSystemdManagesTheFolder) {
    ServiceControl service = control();
    service.setManagedBySystemd(true);
    ASSERT_TRUE(service.install());
    EXPECT_EQ(commands, (QList<QStringList>{{"daemon-reload"}, {"enable", "lumivex.service"}}));

    commands.clear();
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "x"));
    ASSERT_TRUE(service.addNetworkDependency());
    EXPECT_EQ(commands, (QList<QStringList>{{"daemon-reload"}, {"daemon-reload"}}));

    commands.clear();
    ASSERT_TRUE(service.uninstall());
    EXPECT_EQ(commands, (QList<QStringList>{{"daemon-reload"}}));

    commands.clear();
    EXPECT_FALSE(service.uninstall());
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(ServiceControlTest, DefaultFolderIsTheSystemsUnitFolder) {
    const ScopedEnv unset("LUMIVEX_SYSTEMD_DIR", QByteArray());
    EXPECT_EQ(ServiceControl(QStringLiteral("/x")).unitFolder(), "/etc/systemd/system");
    EXPECT_EQ(ServiceControl(QStringLiteral("/x")).unitPath(),
              "/etc/systemd/system/lumivex.service");
}

TEST_F(ServiceControlTest, ProgramPathDefaultsToTheRunningExecutable) {
    ServiceControl service = control(QString());
    ASSERT_TRUE(service.install());
    const QByteArray self = QFile::encodeName(QFileInfo("/proc/self/exe").canonicalFilePath());
    EXPECT_TRUE(readWholeFile(unit()).contains("\nExecStart=\"" + self + "\"\n"));
}

} // namespace
