#pragma once
// The leading-number reading of a text that the windows use for tags, ids and typed numbers.

#include <QString>

// The value of the text's leading whole number: blanks are skipped (" 1 2" gives 12), a sign
// may come first, and reading stops at the first other character ("5090abc" gives 5090, "12.7"
// gives 12, the fraction dropped). Empty or non-numeric text gives 0. Values beyond the range of
// int are clamped to INT_MIN or INT_MAX, so an overlong number never wraps round to a small one.
int numericValue(const QString& text);
