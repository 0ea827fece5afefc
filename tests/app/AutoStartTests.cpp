// The autostart entry: its text, and adding and removing it for one user or for all.

#include "app/AutoStart.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// Reads an Exec value back as a desktop environment does: the string escapes first, then
// one double-quoted argument, then "%%" as a literal percent sign. Null when it is not one
// well-formed quoted argument.
QString execArgument(const QString& value) {
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        const QChar next = value[++i];
        const QString from = QStringLiteral("sntr\\");
        const QString to = QStringLiteral(" \n\t\r\\");
        if (!from.contains(next))
            return {};
        unescaped += to[from.indexOf(next)];
    }
    if (!unescaped.startsWith(QLatin1Char('"')) || !unescaped.endsWith(QLatin1Char('"')) ||
        unescaped.size() < 2)
        return {};
    QString argument = QStringLiteral("");
    const QString escaped = QStringLiteral("\"`$\\");
    for (qsizetype i = 1; i < unescaped.size() - 1; ++i) {
        QChar c = unescaped[i];
        if (c == QLatin1Char('\\')) {
            if (!escaped.contains(unescaped[i + 1]))
                return {};
            c = unescaped[++i];
        } else if (escaped.contains(c)) {
            return {}; // must have been escaped
        } else if (c == QLatin1Char('%')) {
            if (unescaped[i + 1] != QLatin1Char('%'))
                return {}; // a field code
            ++i;
        }
        argument += c;
    }
    return argument;
}

QString execValue(const QByteArray& entry) {
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    }
    return {};
}

class AutoStartEntry : public ::testing::TestWithParam<QString> {};

TEST_P(AutoStartEntry, ExecGivesBackTheProgramPath) {
    const QByteArray entry = autoStartEntry(GetParam());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\nName=Lumivex\n"));
    EXPECT_EQ(execArgument(execValue(entry)), GetParam()) << entry.constData();
}

INSTANTIATE_TEST_SUITE_P(Paths, AutoStartEntry,
                         ::testing::Values(QStringLiteral("/usr/bin/lumivex"),
                                           QStringLiteral("/opt/My Apps/lumivex"),
                                           QStringLiteral("/opt/\"quoted\" name/lumivex"),
                                           QStringLiteral("/opt/`tick`/$HOME/lumivex"),
                                           QStringLiteral("/opt/back\\slash/lumivex"),
                                           QStringLiteral("/opt/100%/%f/lumivex"),
                                           QStringLiteral("/opt/tab\there/lumivex"),
                                           QStringLiteral("/opt/Prüfstand/東京/lumivex")));

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
    for (const QString& name : {QString(), QStringLiteral("."), QStringLiteral(".."),
                                QStringLiteral("../Lumivex"), QStringLiteral("a/b")}) {
        EXPECT_FALSE(SetAutoStart(true, name, "/usr/bin/lumivex", true, false)) << qPrintable(name);
        EXPECT_FALSE(SetAutoStart(false, name, "/usr/bin/lumivex", true, false));
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
