#include "platform/linux/PortMarker.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(PortMarker, UnreadableFilesAndEndedProcessesOwnNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m"));
    EXPECT_FALSE(PortMarker::read(path).has_value());
    for (const char* text : {"garbage", "pid=12\n", "pty=/dev/pts/1\n", "pid=-4\npty=/x\n"}) {
        ASSERT_TRUE(writeWholeFile(path, text));
        EXPECT_FALSE(PortMarker::read(path).has_value()) << text;
    }
    for (const qint64 pid : {qint64(deadPid()), qint64(0)})
        EXPECT_FALSE((PortMarker{pid, 0, QStringLiteral("/dev/pts/1")}).ownerRunning()) << pid;
    EXPECT_TRUE((PortMarker{1, 0, QStringLiteral("/dev/pts/1")}).ownerRunning());
}

} // namespace
