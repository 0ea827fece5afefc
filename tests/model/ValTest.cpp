#include "model/Val.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <cfloat>
#include <climits>
#include <clocale>
#include <gtest/gtest.h>

namespace {

struct ValCase {
    const char* text;
    double value;
    int whole;
};

// A comma is never the point, and digits of other scripts are no digits here.
// clang-format off
const ValCase kValCases[] = {
    {"", 0, 0}, {"-", 0, 0}, {".", 0, 0}, {"12abc", 12, 12}, {" 1 2 ", 12, 12},
    {"\t7\r\n", 7, 7}, {"+7", 7, 7}, {"-12.7", -12.7, -12}, {"12.5x", 12.5, 12},
    {"1.2.3", 1.2, 1}, {".5", 0.5, 0}, {"12,5", 12, 12}, {"1e5", 1, 1}, {"0x10", 0, 0},
    {"１２", 0, 0}, {"2147483648", 2147483648.0, INT_MAX},
    {"-99999999999999999999999", -99999999999999999999999.0, INT_MIN}};
const std::pair<double, const char*> kWrittenCases[] = {
    {1000, "1000"}, {-0.25, "-0.25"}, {1e20, "100000000000000000000"},
    {99999999999999999999999.0, "100000000000000000000000"}};
// clang-format on

void expectLocaleIndependent() {
    for (const ValCase& c : kValCases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(std::pair(Val(text), ValInt(text)), std::pair(c.value, c.whole)) << c.text;
    }
    for (const auto& [value, text] : kWrittenCases) {
        EXPECT_EQ(numberText(value), QLatin1String(text));
        EXPECT_EQ(Val(numberText(value)), value) << text;
    }
    // Beyond double's range: the largest value, never infinity; far below it: zero.
    EXPECT_EQ(Val(QString(400, QLatin1Char('9'))), DBL_MAX);
    EXPECT_EQ(Val(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1')), 0);
}

TEST(Val, ReadsAndWritesNumbersTheSameUnderEveryLocale) {
    expectLocaleIndependent();
    // A locale whose decimal point is a comma, made here so that no machine needs it installed
    // (localedef comes with Debian's locales package).
    QTemporaryDir dir;
    const ScopedEnv locpath("LOCPATH", QFile::encodeName(dir.path()));
    QProcess::execute(QStringLiteral("localedef"),
                      {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                       QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("de_DE.UTF-8"))});
    ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                std::localeconv()->decimal_point == std::string(","));
    expectLocaleIndependent();
    std::setlocale(LC_ALL, "C");
}

} // namespace
