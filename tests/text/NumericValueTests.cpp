#include "text/NumericValue.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char* text;
    int expected;
};

const NumberCase kNumberCases[] = {
    {"", 0},
    {"abc", 0},
    {"-", 0},
    {"0", 0},
    {"5090", 5090},
    {"5090abc", 5090},
    {"  42", 42},
    {"\t7\r\n", 7},
    {" 1 2", 12},
    {"-5", -5},
    {"+7", 7},
    {"12.7", 12},
    {"0x10", 0},
    {"65536", 65536},
    {"2147483647", INT_MAX},
    {"2147483648", INT_MAX},
    {"99999999999999999999999", INT_MAX},
    {"-2147483648", INT_MIN},
    {"-99999999999999999999999", INT_MIN},
    {"٣", 0},    // a digit of another script is not a number here
    {"１２", 0}, // nor are full-width digits
};

class NumericValue : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumericValue, ReadsTheLeadingNumber) {
    EXPECT_EQ(numericValue(QString::fromUtf8(GetParam().text)), GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, NumericValue, ::testing::ValuesIn(kNumberCases));

} // namespace
