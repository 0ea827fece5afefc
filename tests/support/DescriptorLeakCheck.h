#pragma once
// A GoogleTest listener that fails every test that ends with a descriptor open that was not
// open when it started, naming each one with its /proc/self/fd target. The test mains install
// it, so a port, socket or file that a test (or the code it drives) forgets to close is caught
// at the test that lost it.

#include "tests/support/OpenDescriptors.h"

#include <gtest/gtest.h>

class DescriptorLeakCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;

private:
    OpenDescriptors before_;
};
