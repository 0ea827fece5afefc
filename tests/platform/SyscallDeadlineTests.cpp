// The bound on blocking calls that a serial port's close relies on, tried on a call that
// would otherwise wait for ever: a read of a pipe nobody writes.

#include "platform/linux/SyscallDeadline.h"
#include "platform/linux/UniqueFd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(SyscallDeadlineTest, CutsAWaitShortThatWouldNeverEnd) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    for (int round = 0; round < 2; ++round) { // the handler stays, and a second bound works
        const SyscallDeadline deadline(20ms);
        ASSERT_TRUE(deadline.armed());
        char byte;
        EXPECT_EQ(::read(readEnd.get(), &byte, 1), -1);
        EXPECT_EQ(errno, EINTR);
    }
}

} // namespace
