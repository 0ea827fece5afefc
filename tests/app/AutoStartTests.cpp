// The autostart entry: its text, and adding and removing it for one user or for all.

#include "app/AutoStart.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// Exec holds one quoted argument: '"', '`', '$' and '\' escaped, '%' doubled, and then the
// string escapes of a desktop entry on top (every backslash doubled, control characters).
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

class AutoStartFiles : public ::testing::Test {
protected:
    QString userEntry() const {
        return dir.filePath(QStringLiteral("config/autostart/Lumivex.desktop"));
    }
    QTemporaryDir dir;
    ScopedEnv config_{"XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config")))};
};

TEST_F(AutoStartFiles, EnableWritesTheEntryForTheUserOrForAllAndDisableRemovesIt) {
    const QString program = QStringLiteral("/opt/My Apps/lumivex");
    const QString system = dir.filePath(QStringLiteral("xdg"));
    const QString systemEntry = system + QStringLiteral("/autostart/Lumivex.desktop");
    EXPECT_TRUE(SetAutoStart(true, "Lumivex", program, true, false));
    EXPECT_EQ(readWholeFile(userEntry()), autoStartEntry(program));
    EXPECT_TRUE(SetAutoStart(true, "Lumivex", program, false, false, system));
    EXPECT_TRUE(QFileInfo(systemEntry).permissions() & QFile::ReadOther);

    EXPECT_TRUE(SetAutoStart(false, "Lumivex", program, true, false));
    EXPECT_FALSE(QFileInfo::exists(userEntry()));
    EXPECT_TRUE(QFileInfo::exists(systemEntry));
    EXPECT_TRUE(SetAutoStart(false, "Lumivex", program, true, false)); // nothing left: fine
    EXPECT_TRUE(SetAutoStart(false, "Lumivex", program, false, false, system));
    EXPECT_FALSE(QFileInfo::exists(systemEntry));
}

TEST_F(AutoStartFiles, BadNamesAndPlacesThatCannotHoldTheEntryFail) {
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
