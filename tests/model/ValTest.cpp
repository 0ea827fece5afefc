#include "model/Val.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <cfloat>
#include <climits>
#include <clocale>
#include <gtest/gtest.h>

namespace {

// A comma is never the point, and digits of other scripts are no digits here.
// clang-format off
const std::tuple<const char*, double, int> kValCases[] = {
    {"-", 0, 0}, {".", 0, 0}, {" 1\t2\r\n", 12, 12}, {"+7", 7, 7}, {"-12.7", -12.7, -12},
    {"1.2.3x", 1.2, 1}, {".5", 0.5, 0}, {"12,5", 12, 12}, {"1e5", 1, 1}, {"0x10", 0, 0},
    {"１２", 0, 0}, {"2147483648", 2147483648.0, INT_MAX},
    {"-99999999999999999999999", -99999999999999999999999.0, INT_MIN}};
const std::pair<double, const char*> kWrittenCases[] = {
    {-0.25, "-0.25"}, {1e20, "100000000000000000000"},
    {99999999999999999999999.0, "100000000000000000000000"}};
// clang-format on

void expectLocaleIndependent() {
    for (const auto& [text, value, whole] : kValCases)
        EXPECT_EQ(std::pair(Val(QString::fromUtf8(text)), ValInt(QString::fromUtf8(text))),
                  std::pair(value, whole))
            << text;
    for (const auto& [value, text] : kWrittenCases)
        EXPECT_EQ(std::pair(numberText(value), Val(numberText(value))),
                  std::pair(QString::fromLatin1(text), value));
    // Beyond double's range: the largest value, never infinity; far below it: zero.
    EXPECT_EQ(Val(QString(400, QLatin1Char('9'))), DBL_MAX);
    EXPECT_EQ(Val(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1')), 0);
}

TEST(Val, ReadsAndWritesNumbersTheSameUnderEveryLocale) {
    expectLocaleIndependent();
    // A locale whose decimal point is a comma, made here as no machine need have it installed.
    QTemporaryDir dir;
    const ScopedEnv locpath("LOCPATH", QFile::encodeName(dir.path()));
    QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")});
    ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                std::localeconv()->decimal_point == std::string(","));
    expectLocaleIndependent();
    std::setlocale(LC_ALL, "C");
}

} // namespace
