#include "platform/Folders.h"
#include "app/InstanceLock.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(Folders, VariablesNameTheDataAndPortsFolders) {
    QTemporaryDir dir;
    {
        ScopedEnv home("LUMIVEX_HOME", QFile::encodeName(dir.path()) + "/data/");
        ScopedEnv ports("LUMIVEX_PORTS", QByteArray());
        EXPECT_EQ(dataFolder(), dir.path() + QStringLiteral("/data"));
        EXPECT_EQ(portsFolder(), dir.path() + QStringLiteral("/data/ports"));
        EXPECT_TRUE(ensurePortsFolder());
        EXPECT_TRUE(QFileInfo(portsFolder()).isDir());
    }
    ScopedEnv home("LUMIVEX_HOME", QByteArray());
    ScopedEnv ports("LUMIVEX_PORTS", QFile::encodeName(dir.path()) + "/p");
    EXPECT_EQ(portsFolder(), dir.path() + QStringLiteral("/p"));
    // Without LUMIVEX_HOME a build folder the user can write is the data folder.
    EXPECT_EQ(dataFolder(), QFileInfo(executablePath()).absolutePath());
}

TEST(Folders, RuntimeFolderIsPrivateOrRefused) {
    QTemporaryDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    const QString expected = dir.path() + QStringLiteral("/lumivex");

    RuntimeFolder folder = runtimeFolder();
    EXPECT_EQ(folder.path, expected);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::chmod(QFile::encodeName(expected).constData(), 0755);
    folder = runtimeFolder();
    EXPECT_TRUE(folder.path.isEmpty());
    EXPECT_TRUE(folder.error.contains(QStringLiteral("open to other users")));

    ::chmod(QFile::encodeName(expected).constData(), 0700);
    ASSERT_EQ(::chown(QFile::encodeName(expected).constData(), 65534, 65534), 0);
    folder = runtimeFolder();
    EXPECT_TRUE(folder.path.isEmpty());
    EXPECT_TRUE(folder.error.contains(QStringLiteral("another user")));

    QDir(expected).removeRecursively();
    ASSERT_TRUE(QFile::link(dir.path(), expected)); // a link is not a folder of ours
    EXPECT_TRUE(runtimeFolder().path.isEmpty());
}

TEST(InstanceLock, OnlyTheFirstHolderHoldsIt) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/lumivex.lock");
    {
        InstanceLock first(path);
        EXPECT_TRUE(first.held());
        InstanceLock second(path);
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(second.error().isEmpty()); // another instance is no error
    }
    InstanceLock again(path);
    EXPECT_TRUE(again.held());
    InstanceLock refused(QString{});
    EXPECT_FALSE(refused.held());
}

} // namespace
