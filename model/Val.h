#pragma once
// The numeric value of a text as forms read it: blanks are skipped, then an optional sign,
// ASCII digits and one decimal point; reading stops at the first other character. A text that
// does not start with a number is 0. "12abc" is 12, " 1 2" is 12, "-5" is -5, "abc" is 0.
// The point is always '.', whatever the locale says.

#include <QString>
#include <QStringView>

double Val(QStringView text);

// Val cut to a whole number (toward zero) and clamped to int's range, so that an overlong
// number never wraps round to a small one.
int ValInt(QStringView text);

// A number as it is written to files: plain decimal digits (never an exponent), without a
// fraction when it is whole, with '.' as the point under every locale.
QString numberText(double value);
