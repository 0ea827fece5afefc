#pragma once
// The numeric value of a text as forms read it: blanks are skipped, then an optional sign,
// digits and one decimal point; reading stops at the first other character. A text that does
// not start with a number is 0. "12abc" is 12, " 1 2" is 12, "-5" is -5, "abc" is 0.

#include <QStringView>

double Val(QStringView text);
