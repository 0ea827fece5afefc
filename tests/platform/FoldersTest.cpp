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

// Relative values are taken from where the program started, not from where it went later. The
// data folder is beside a build or portable copy, else in the (absolute) user config folder.
TEST(Folders, RelativeVariablesStayWhereTheProgramStartedAndDataIsBesideABuild) {
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
    const std::pair<const char*, bool> rows[] = {
        {"/usr/local/bin/", false}, {"/opt/lumivex/sbin", false}, {"/srv/binaries", true}};
    for (const auto& [folder, beside] : rows)
        EXPECT_EQ(keepsDataBesideProgram(QString::fromLatin1(folder)), beside) << folder;
    // The tests run from the build folder: the data folder when the user can write it.
    ScopedEnv noHome("LUMIVEX_HOME", QByteArray());
    const QString build = QFileInfo(executablePath()).absolutePath();
    const bool writable = ::access(native(build).constData(), W_OK) == 0;
    EXPECT_EQ(dataFolder(), writable ? build : userConfigFolder() + QStringLiteral("/lumivex"));
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(userConfigFolder(), QDir::homePath() + QStringLiteral("/.config"));
    ScopedEnv absolute("XDG_CONFIG_HOME", "/somewhere/config/");
    EXPECT_EQ(userConfigFolder(), QStringLiteral("/somewhere/config"));
}

// The set, the log, links and markers are written there: only a folder of this user's own that
// no one else may write; the data folder also when reached through a link (systemd's
// StateDirectory is one). A missing ports folder is made.
TEST(Folders, DataFolderOthersCanWriteIsRefused) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkdir(data) && QFile::link(data, dir.filePath(QStringLiteral("link"))));
    using Check = std::pair<const char*, QString (*)()>;
    const Check home{"LUMIVEX_HOME", dataFolderProblem}, ports{"LUMIVEX_PORTS", preparePortsFolder};
    const auto problem = [&](const Check& check, const char* name) {
        ScopedEnv folder(check.first, native(dir.filePath(QString::fromLatin1(name))));
        return check.second();
    };
    const std::tuple<Check, const char*, mode_t, const char*> rows[] = {
        {home, "data", 0755, ""},
        {home, "link", 0700, ""},
        {home, "data", 0775, "is open to other users"},
        {home, "data", 0757, "is open to other users"},
        {home, "missing", 0700, "cannot read"},
        {ports, "ports", 0700, ""},
        {ports, "data", 0775, "is open to other users"},
        {ports, "data", 0757, "is open to other users"}};
    for (const auto& [check, name, mode, why] : rows) {
        ::chmod(native(data).constData(), mode);
        const QString found = problem(check, name);
        EXPECT_TRUE(*why ? found.contains(QString::fromLatin1(why)) : found.isEmpty())
            << check.first << " " << name << " " << mode << ": " << found.toStdString();
    }
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("ports"))).isDir());
    if (::geteuid() == 0) { // only root can give a folder away
        ASSERT_EQ(::chown(native(data).constData(), 65534, 65534), 0);
        for (const Check& check : {home, ports})
            EXPECT_TRUE(problem(check, "data").contains(QStringLiteral("another user")));
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
