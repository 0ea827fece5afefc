#include "model/Val.h"

#include <cstdlib>
#include <string>

double Val(QStringView text) {
    std::string digits;
    bool seenPoint = false;
    bool seenDigit = false;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if ((c == u'-' || c == u'+') && digits.empty() && !seenPoint) {
            digits += static_cast<char>(c.unicode());
            continue;
        }
        if (c == u'.' && !seenPoint) {
            seenPoint = true;
            digits += '.';
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            seenDigit = true;
            digits += static_cast<char>(c.unicode());
            continue;
        }
        break;
    }
    if (!seenDigit)
        return 0;
    // strtod never throws; an absurdly long number saturates to infinity.
    return std::strtod(digits.c_str(), nullptr);
}
