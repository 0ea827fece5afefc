// The systemd unit: its text, install and uninstall in a unit folder, and systemctl.

#include "app/ServiceControl.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ServiceControlTest : public ::testing::Test {
protected:
    // A control whose systemctl commands are recorded instead of run.
    ServiceControl control(const QString& program = QStringLiteral("/opt/lumivex/lumivex")) {
        ServiceControl service(program);
        service.setSystemctlRunner([this](const QStringList& args) { commands << args; });
        return service;
    }
    QString unit() const { return dir.filePath(QStringLiteral("lumivex.service")); }
    QByteArray unitText() const { return readWholeFile(unit()); }

    QTemporaryDir dir;
    ScopedEnv folder_{"LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.path())};
    QList<QStringList> commands;
};

TEST_F(ServiceControlTest, InstallWritesTheUnitWithOrWithoutTheNetwork) {
    for (const bool network : {true, false}) {
        ServiceControl service = control();
        ASSERT_TRUE(service.install());
        ASSERT_TRUE(!network || service.addNetworkDependency());
        const QByteArray text = unitText();
        for (const char* line :
             {"\n[Service]\nType=notify\n", "\nExecStart=\"/opt/lumivex/lumivex\"\n",
              "\nEnvironment=LUMIVEX_HEADLESS=1\n", "\nStateDirectory=lumivex\n",
              "\nEnvironment=LUMIVEX_HOME=/var/lib/lumivex\n",
              "\nAmbientCapabilities=CAP_NET_RAW\n", "\nWantedBy=multi-user.target\n"})
            EXPECT_TRUE(text.contains(line)) << line;
        EXPECT_EQ(text.contains("\nAfter=network-online.target\nWants=network-online.target\n"),
                  network);
        EXPECT_TRUE(QFileInfo(unit()).permissions() & QFile::ReadOther);
    }
}

TEST_F(ServiceControlTest, DescriptionIsTheOnlySettingAndCannotBreakTheUnit) {
    ServiceControl service = control();
    EXPECT_TRUE(service.saveSetting(QString(), "description", "Early"));
    EXPECT_FALSE(service.saveSetting("Parameters", "Description", "x"));
    EXPECT_FALSE(service.saveSetting(QString(), "Other", "x"));
    ASSERT_TRUE(service.install());
    EXPECT_TRUE(unitText().startsWith("[Unit]\nDescription=Early\n"));
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "100% up\nExecStartPre=/bin/evil\\"));
    EXPECT_TRUE(unitText().startsWith("[Unit]\nDescription=100%% up ExecStartPre=/bin/evil\n\n"));
}

TEST_F(ServiceControlTest, ProgramPathIsQuotedAndEscaped) {
    const std::pair<const char*, QByteArray> rows[] = {
        {"/opt/My Apps/a\"b/lumivex", R"("/opt/My Apps/a\"b/lumivex")"},
        {"/opt/a\\b/lumivex", R"("/opt/a\\b/lumivex")"},
        {"/opt/100%/$HOME/lumivex", R"("/opt/100%%/$$HOME/lumivex")"},
    };
    for (const auto& [program, exec] : rows) {
        ASSERT_TRUE(control(QString::fromUtf8(program)).install());
        EXPECT_TRUE(unitText().contains("\nExecStart=" + exec + "\n")) << program;
    }
}

TEST_F(ServiceControlTest, InstallFailsWhereNoUnitCanBeWritten) {
    // Root ignores mode bits: the failures come from what the paths are.
    EXPECT_FALSE(control(QStringLiteral("relative/lumivex")).install());
    EXPECT_FALSE(control(QStringLiteral("/opt/a\nExecStartPre=/bin/evil")).install());
    EXPECT_FALSE(QFileInfo::exists(unit()));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("lumivex.service")));
    EXPECT_FALSE(control().install());
    EXPECT_FALSE(control().uninstall());
    EXPECT_TRUE(QFileInfo(unit()).isDir());

    const ScopedEnv missing("LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.filePath("missing")));
    EXPECT_FALSE(control().install());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(ServiceControlTest, UninstallRemovesTheUnitAndItsEnablementOnly) {
    EXPECT_FALSE(control().uninstall()); // nothing to remove
    ASSERT_TRUE(control().install());
    const QString wants = dir.filePath(QStringLiteral("multi-user.target.wants/"));
    ASSERT_TRUE(QDir().mkpath(wants));
    ASSERT_TRUE(QFile::link(unit(), wants + QStringLiteral("lumivex.service")));
    ASSERT_TRUE(QFile::link(unit(), wants + QStringLiteral("other.service")));
    EXPECT_TRUE(control().uninstall());
    EXPECT_FALSE(QFileInfo::exists(unit()));
    EXPECT_FALSE(QFileInfo(wants + QStringLiteral("lumivex.service")).isSymLink());
    EXPECT_TRUE(QFileInfo(wants + QStringLiteral("other.service")).isSymLink());
    EXPECT_TRUE(commands.isEmpty()); // not the system's folder: systemctl is left alone
}

TEST_F(ServiceControlTest, SystemctlReloadsAndEnablesWhenSystemdManagesTheFolder) {
    ServiceControl service = control();
    service.setManagedBySystemd(true);
    ASSERT_TRUE(service.install());
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "x"));
    ASSERT_TRUE(service.uninstall());
    EXPECT_FALSE(service.uninstall());
    EXPECT_EQ(commands, (QList<QStringList>{{"daemon-reload"},
                                            {"enable", "lumivex.service"},
                                            {"daemon-reload"},
                                            {"daemon-reload"}}));
}

} // namespace
