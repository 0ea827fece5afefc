#include "text/NumericValue.h"

#include <algorithm>
#include <climits>

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\n');
}

// Only ASCII digits count: QChar::isDigit would take other scripts' digits too.
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

int numericValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    // Accumulated as a magnitude beyond int's range, then clamped.
    constexpr long long limit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        if (isBlank(text[i]))
            continue; // "1 2" reads as 12, as forms have always read numbers
        if (!isAsciiDigit(text[i]))
            break;
        magnitude = std::min(limit, magnitude * 10 + (text[i].unicode() - u'0'));
    }
    if (negative)
        return static_cast<int>(-magnitude);
    return static_cast<int>(std::min<long long>(magnitude, INT_MAX));
}
