#include "tests/support/DescriptorLeakCheck.h"

#include <gtest/gtest-spi.h>
#include <unistd.h>

// A descriptor the test leaves open fails it, named with its target; one it closes does not.
TEST(DescriptorLeakCheck, NamesWhatATestLeavesOpen) {
    const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
    DescriptorLeakCheck check;
    int ends[2];
    check.OnTestStart(test);
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[1]);
    EXPECT_NONFATAL_FAILURE(check.OnTestEnd(test), "fd " + std::to_string(ends[0]) + " -> pipe:[");
    ::close(ends[0]);

    check.OnTestStart(test);
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    ::close(ends[1]);
    check.OnTestEnd(test); // a failure it reported would be this test's own
}
