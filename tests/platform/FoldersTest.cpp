#include "platform/Folders.h"
#include "app/InstanceLock.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Relative values are taken from where the program started, not from where it went later.
TEST(Folders, RelativeVariablesStayWhereTheProgramStarted) {
    QTemporaryDir dir;
    const QString startedIn = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ScopedEnv home("LUMIVEX_HOME", "data/");
    ScopedEnv ports("LUMIVEX_PORTS", QByteArray());
    anchorFolderVariables();
    QDir::setCurrent(QStringLiteral("/"));
    EXPECT_EQ(dataFolder(), dir.filePath(QStringLiteral("data")));
    EXPECT_EQ(portsFolder(), dir.filePath(QStringLiteral("data/ports")));
    QDir::setCurrent(startedIn);
}

TEST(Folders, DataBesideABuildOrPortableCopyElseInTheAbsoluteConfigHome) {
    const std::pair<const char*, bool> rows[] = {
        {"/usr/local/bin/", false}, {"/opt/lumivex/sbin", false}, {"/srv/binaries", true}};
    for (const auto& [folder, beside] : rows)
        EXPECT_EQ(keepsDataBesideProgram(QString::fromLatin1(folder)), beside) << folder;
    // The tests run from the build folder: the data folder when the user can write it.
    ScopedEnv home("LUMIVEX_HOME", QByteArray());
    const QString build = QFileInfo(executablePath()).absolutePath();
    const bool writable = ::access(native(build).constData(), W_OK) == 0;
    EXPECT_EQ(dataFolder(), writable ? build : userConfigFolder() + QStringLiteral("/lumivex"));

    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(userConfigFolder(), QDir::homePath() + QStringLiteral("/.config"));
    ScopedEnv absolute("XDG_CONFIG_HOME", "/somewhere/config/");
    EXPECT_EQ(userConfigFolder(), QStringLiteral("/somewhere/config"));
}

TEST(Folders, PortsFolderOthersCanWriteIsRefused) {
    QTemporaryDir dir;
    const QString ports = dir.filePath(QStringLiteral("ports"));
    ScopedEnv variable("LUMIVEX_PORTS", native(ports));
    EXPECT_TRUE(preparePortsFolder().isEmpty() && QFileInfo(ports).isDir());
    for (const mode_t open : {0775, 0757}) {
        ::chmod(native(ports).constData(), open);
        EXPECT_TRUE(preparePortsFolder().contains(QStringLiteral("open to other users"))) << open;
    }
    if (::geteuid() == 0) { // only root can give a folder away
        ASSERT_EQ(::chown(native(ports).constData(), 65534, 65534), 0);
        EXPECT_TRUE(preparePortsFolder().contains(QStringLiteral("another user")));
    }
}

// The set and the log are written there: only a folder of this user's own that no one else
// may write, also when reached through a link (systemd's StateDirectory is one).
TEST(Folders, DataFolderOthersCanWriteIsRefused) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkdir(data) && QFile::link(data, dir.filePath(QStringLiteral("link"))));
    const std::tuple<const char*, mode_t, const char*> rows[] = {
        {"data", 0755, ""},
        {"link", 0700, ""},
        {"data", 0775, "is open to other users"},
        {"data", 0757, "is open to other users"},
        {"missing", 0, "cannot read"}};
    for (const auto& [name, mode, problem] : rows) {
        ::chmod(native(data).constData(), mode);
        ScopedEnv home("LUMIVEX_HOME", native(dir.filePath(QString::fromLatin1(name))));
        const QString found = dataFolderProblem();
        EXPECT_TRUE(*problem ? found.contains(QString::fromLatin1(problem)) : found.isEmpty())
            << name << " " << mode << ": " << found.toStdString();
    }
    if (::geteuid() == 0) { // only root can give a folder away
        ASSERT_EQ(::chown(native(data).constData(), 65534, 65534), 0);
        ScopedEnv home("LUMIVEX_HOME", native(data));
        EXPECT_TRUE(dataFolderProblem().contains(QStringLiteral("another user")));
    }
}

// Unlike the ports folder, the runtime folder must not even be readable by others.
TEST(Folders, RuntimeFolderIsPrivateOrRefused) {
    QTemporaryDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", native(dir.path()));
    const QString expected = dir.path() + QStringLiteral("/lumivex");
    EXPECT_EQ(runtimeFolder().path, expected);
    ::chmod(native(expected).constData(), 0755);
    EXPECT_TRUE(runtimeFolder().error.contains(QStringLiteral("open to other users")));
    QDir(expected).removeRecursively();
    ASSERT_TRUE(QFile::link(dir.path(), expected)); // a link is not a folder of ours
    EXPECT_TRUE(runtimeFolder().path.isEmpty());
}

TEST(InstanceLock, OnlyTheFirstHolderHoldsIt) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/lumivex.lock");
    {
        InstanceLock first(path);
        InstanceLock second(path);
        EXPECT_TRUE(first.held() && !second.held() && second.error().isEmpty());
    }
    EXPECT_TRUE(InstanceLock(path).held());
    EXPECT_FALSE(InstanceLock(QString{}).held());
}

} // namespace
