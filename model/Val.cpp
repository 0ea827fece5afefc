#include "model/Val.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool wholePartIsZero(const std::string& digits) {
    for (char c : digits) {
        if (c == '.')
            return true;
        if (c != '0')
            return false;
    }
    return true;
}

} // namespace

double Val(QStringView text) {
    std::string digits;
    bool negative = false;
    bool seenSign = false;
    bool seenPoint = false;
    bool seenDigit = false;
    for (QChar c : text) {
        if (isBlank(c))
            continue;
        if ((c == u'-' || c == u'+') && !seenSign && digits.empty()) {
            seenSign = true;
            negative = c == u'-';
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            digits += '.';
        } else if (c >= u'0' && c <= u'9') { // not QChar::isDigit: other scripts' digits
            seenDigit = true;
            digits += static_cast<char>(c.unicode());
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0;
    // from_chars reads the same under every locale (strtod takes the locale's point).
    double value = 0;
    const std::from_chars_result read = std::from_chars(
        digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
    if (read.ec == std::errc::result_out_of_range) // beyond double: the nearest that is not
        value = wholePartIsZero(digits) ? 0 : std::numeric_limits<double>::max();
    return negative ? -value : value;
}

int ValInt(QStringView text) {
    const double value = std::trunc(Val(text));
    if (value >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value <= std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

QString numberText(double value) {
    // The shortest digits that read back as the same value, in fixed notation.
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}
