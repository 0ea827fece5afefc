#include "platform/ComPortNames.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ComPortNames, ReadsComNumbers) {
    const struct {
        const char* name;
        int number;
    } rows[] = {{"COM1", 1}, {"com12", 12}, {"COM65535", 65535}, {"COM0", 0}, {"COM65536", 0},
                {"COM", 0},  {"COM5x", 0},  {"COM-1", 0},        {" COM5", 0}};
    for (const auto& row : rows)
        EXPECT_EQ(comPortNumber(QString::fromLatin1(row.name)), row.number) << row.name;
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex")), 5);
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex~")), 0);
}

// The device is the mapping when there is one, even a dangling one (the user meant that
// device), else ttyS.
TEST(ComPortNames, DeviceIsTheMappingWhenThereIsOneElseTtyS) {
    QTemporaryDir dir;
    ScopedEnv ports("LUMIVEX_PORTS", QFile::encodeName(dir.path()));
    EXPECT_EQ(comMarkerPath(3), dir.path() + QStringLiteral("/.COM3.lumivex"));
    EXPECT_EQ(comDevicePath(3), QStringLiteral("/dev/ttyS2"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/ttyUSB7"), comLinkPath(3)));
    EXPECT_EQ(comDevicePath(3), dir.path() + QStringLiteral("/COM3"));
}

} // namespace
