#include "platform/linux/PortMarker.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(PortMarker, UnreadableFilesAreNoMarker) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m"));
    EXPECT_FALSE(PortMarker::read(path).has_value());
    for (const char* text :
         {"", "garbage", "pid=12\n", "pty=/dev/pts/1\n", "pid=-4\npty=/x\n", "pid=abc\npty=/x\n"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(writeWholeFile(path, text));
        EXPECT_FALSE(PortMarker::read(path).has_value());
    }
}

TEST(PortMarker, AnEndedProcessOwnsNothing) {
    EXPECT_FALSE((PortMarker{deadPid(), 0, QStringLiteral("/dev/pts/1")}).ownerRunning());
    EXPECT_FALSE((PortMarker{0, 0, QStringLiteral("/dev/pts/1")}).ownerRunning());
    EXPECT_TRUE((PortMarker{1, 0, QStringLiteral("/dev/pts/1")}).ownerRunning());
}

} // namespace
