// The systemd unit, the notifications to the service manager, and the autostart entry.

#include "app/AutoStart.h"
#include "app/ServiceControl.h"
#include "app/ServiceNotify.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class ServiceTest : public ::testing::Test {
protected:
    // A program only root can change, as the service's must be.
    ServiceControl control(const QString& program = QStringLiteral("/bin/sh")) {
        ServiceControl service(program);
        service.setSystemctlRunner([this](const QStringList& args) { commands << args; });
        return service;
    }
    QString unit() const { return dir.filePath(QStringLiteral("lumivex.service")); }
    QByteArray unitText() const { return readWholeFile(unit()); }

    QString userEntry() const {
        return dir.filePath(QStringLiteral("config/autostart/Lumivex.desktop"));
    }

    QTemporaryDir dir;
    ScopedEnv folder_{"LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.path())};
    ScopedEnv config_{"XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config")))};
    QList<QStringList> commands;
};

TEST_F(ServiceTest, TheUnitRunsTheProgramQuotedUnprivilegedAndSandboxed) {
    const std::pair<const char*, QByteArray> rows[] = {
        {"/opt/My Apps/a\"b/lumivex", R"("/opt/My Apps/a\"b/lumivex")"},
        {"/opt/a\\b/lumivex", R"("/opt/a\\b/lumivex")"},
        {"/opt/100%/$HOME/lumivex", R"("/opt/100%%/$$HOME/lumivex")"},
        {"/opt/@DESCRIPTION@/lumivex", R"("/opt/@DESCRIPTION@/lumivex")"},
    };
    for (const auto& [program, exec] : rows)
        EXPECT_TRUE(
            control(QString::fromUtf8(program)).unitText().contains("\nExecStart=" + exec + "\n"));
    ServiceControl service = control();
    ASSERT_TRUE(service.install());
    EXPECT_FALSE(unitText().contains("network-online.target"));
    ASSERT_TRUE(service.addNetworkDependency());
    const QByteArray text = unitText();
    for (const QByteArray& line : QByteArrayList{
             "[Unit]\n", "\nAfter=network-online.target\nWants=network-online.target\n",
             "\n[Service]\nType=notify\nExecStart=\"/bin/sh\"\n",
             "\nEnvironment=LUMIVEX_HEADLESS=1\n",
             "\nDynamicUser=yes\nSupplementaryGroups=dialout\n", "\nStateDirectory=lumivex\n",
             "\nEnvironment=LUMIVEX_HOME=/var/lib/lumivex\n",
             "\nRuntimeDirectory=lumivex-service\n",
             "\nEnvironment=XDG_RUNTIME_DIR=/run/lumivex-service\n",
             "\nEnvironment=LUMIVEX_PORTS=/run/lumivex-service/ports\n",
             "\nAmbientCapabilities=CAP_NET_RAW\nCapabilityBoundingSet=CAP_NET_RAW\n",
             "\nNoNewPrivileges=yes\nProtectSystem=strict\nProtectHome=yes\nPrivateTmp=yes\n",
             "\nRestart=on-failure\n", "\n[Install]\nWantedBy=multi-user.target\n"})
        EXPECT_TRUE(text.contains(line)) << line.constData();
    EXPECT_FALSE(text.contains("User=root"));
    EXPECT_TRUE(QFileInfo(unit()).permissions() & QFile::ReadOther);
}

TEST_F(ServiceTest, DescriptionIsTheOnlySettingAndCannotBreakTheUnit) {
    ServiceControl service = control();
    EXPECT_TRUE(service.saveSetting(QString(), "description", "Early"));
    EXPECT_FALSE(service.saveSetting("Parameters", "Description", "x"));
    EXPECT_FALSE(service.saveSetting(QString(), "Other", "x"));
    ASSERT_TRUE(service.install());
    EXPECT_TRUE(unitText().startsWith("[Unit]\nDescription=Early\n"));
    ASSERT_TRUE(service.saveSetting(QString(), "Description", "100% up\nExecStartPre=/bin/evil\\"));
    EXPECT_TRUE(unitText().startsWith(
        "[Unit]\nDescription=100%% up ExecStartPre=/bin/evil\nDocumentation=man:lumivex(1)\n\n"));
}

TEST_F(ServiceTest, InstallFailsWhereNoUnitCanBeWritten) {
    // Root ignores mode bits: the failures come from what the paths are.
    EXPECT_FALSE(control(QStringLiteral("relative/lumivex")).install());
    EXPECT_FALSE(control(QStringLiteral("/opt/a\nExecStartPre=/bin/evil")).install());
    // A program others may change is refused through the built program (ProgramTest).
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("lumivex.service")));
    EXPECT_FALSE(control().install());
    EXPECT_FALSE(control().uninstall());
    EXPECT_TRUE(QFileInfo(unit()).isDir());

    const ScopedEnv missing("LUMIVEX_SYSTEMD_DIR", QFile::encodeName(dir.filePath("missing")));
    EXPECT_FALSE(control().install());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_TRUE(commands.isEmpty());
}

// systemctl runs only where systemd manages the folder.
TEST_F(ServiceTest, UninstallRemovesTheUnitAndItsEnablementOnlyAndSystemctlFollows) {
    ASSERT_TRUE(control().install());
    const QString wants = dir.filePath(QStringLiteral("multi-user.target.wants/"));
    ASSERT_TRUE(QDir().mkpath(wants) &&
                QFile::link(unit(), wants + QStringLiteral("lumivex.service")) &&
                QFile::link(unit(), wants + QStringLiteral("other.service")));
    EXPECT_TRUE(control().uninstall());
    EXPECT_FALSE(QFileInfo::exists(unit()));
    EXPECT_FALSE(QFileInfo(wants + QStringLiteral("lumivex.service")).isSymLink());
    EXPECT_TRUE(QFileInfo(wants + QStringLiteral("other.service")).isSymLink());
    EXPECT_TRUE(commands.isEmpty());

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

TEST_F(ServiceTest, NotifySendsToAPathOrAbstractSocketAndIsQuietWithoutOne) {
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("notify")));
    for (const QByteArray& name : {path, "@lumivex-notify-test-" + QByteArray::number(getpid())}) {
        const UniqueFd manager(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const UnixSocketPath address(name);
        ASSERT_EQ(::bind(manager.get(), address.get(), address.length()), 0);
        const ScopedEnv socket("NOTIFY_SOCKET", name);
        reportServiceRunning();
        reportServiceStopping();
        QByteArrayList got;
        char buffer[32];
        for (ssize_t n; (n = ::recv(manager.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            got << QByteArray(buffer, n);
        EXPECT_EQ(got, QByteArrayList({"READY=1", "STOPPING=1"}));
    }
    const QByteArray nobody = QFile::encodeName(dir.filePath(QStringLiteral("nobody")));
    for (const QByteArray& name : {QByteArray(), QByteArray("relative"), QByteArray("@"), nobody,
                                   "/" + QByteArray(200, 'x')}) {
        const ScopedEnv socket("NOTIFY_SOCKET", name);
        EXPECT_FALSE(notifyServiceManager("READY=1")) << name.constData();
    }
}

// One quoted argument ('"', '`', '$', '\' escaped, '%' doubled) under the entry's own escapes.
TEST(AutoStartEntry, ExecQuotesAndEscapesTheProgramPath) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/My Apps/Prüfstand/lumivex", R"("/opt/My Apps/Prüfstand/lumivex")"},
        {R"(/opt/"q"/`t`/$HOME)", R"("/opt/\\"q\\"/\\`t\\`/\\$HOME")"},
        {R"(/opt/a\b)", R"("/opt/a\\\\b")"},
        {"/opt/100%/%f", R"("/opt/100%%/%%f")"},
        {"/opt/tab\there\nx\r", R"("/opt/tab\there\nx\r")"},
    };
    for (const auto& [program, exec] : rows)
        EXPECT_EQ(autoStartEntry(QString::fromUtf8(program)),
                  "[Desktop Entry]\nType=Application\nName=Lumivex\nExec=" + QByteArray(exec) +
                      "\n");
}

// A service has no home (systemd gives it "/"): its entry would land in "/.config".
TEST_F(ServiceTest, AutoStartNeedsAHomeFolderOfTheUsersOwn) {
    const std::pair<QByteArray, bool> rows[] = {{"/", false},
                                                {"", false},
                                                {"relative", false},
                                                {"/nonexistent", false},
                                                {QFile::encodeName(dir.path()), true}};
    for (const auto& [home, written] : rows) {
        const ScopedEnv variable("HOME", home);
        EXPECT_EQ(SetAutoStart(true, "Lumivex", "/usr/bin/lumivex", true, false), written)
            << home.data();
        EXPECT_EQ(QFileInfo::exists(userEntry()), written);
        EXPECT_TRUE(SetAutoStart(false, "Lumivex", "/usr/bin/lumivex", true, false));
    }
}

TEST_F(ServiceTest, AutoStartBadNamesAndPlacesThatCannotHoldTheEntryFail) {
    for (const char* name : {"", ".", "..", "../Lumivex", "a/b"}) {
        EXPECT_FALSE(SetAutoStart(true, name, "/usr/bin/lumivex", true, false)) << name;
        EXPECT_FALSE(SetAutoStart(false, name, "/usr/bin/lumivex", true, false)) << name;
    }
    ASSERT_TRUE(writeWholeFile(dir.filePath(QStringLiteral("config")), "a file, not a folder"));
    EXPECT_FALSE(SetAutoStart(true, "Lumivex", "/usr/bin/lumivex", true, false));
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("config"))));
    // An entry that exists but cannot be removed is not reported as removed.
    ASSERT_TRUE(QDir().mkpath(userEntry() + QStringLiteral("/inside")));
    EXPECT_FALSE(SetAutoStart(false, "Lumivex", "/usr/bin/lumivex", true, false));
    EXPECT_TRUE(QFileInfo(userEntry()).isDir());
}

} // namespace
