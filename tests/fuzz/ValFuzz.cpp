// Val on any text: always a finite number, ValInt its whole part within int's range, and every
// number as the files write it reads back as the same number.

#include "model/Val.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

void checkText(const QString& text) {
    const double value = Val(text);
    FUZZ_CHECK(std::isfinite(value));

    using Int = std::numeric_limits<int>;
    FUZZ_CHECK(ValInt(text) == static_cast<int>(std::clamp(std::trunc(value), double(Int::min()),
                                                           double(Int::max()))));

    // Written as plain digits (no exponent, '.' as the point), and read back exactly.
    const QString written = numberText(value);
    for (const QChar c : written)
        FUZZ_CHECK((c >= u'0' && c <= u'9') || c == u'.' || c == u'-');
    FUZZ_CHECK(Val(written) == value);

    // Reading stops at the first character that cannot continue a number.
    FUZZ_CHECK(Val(text + QLatin1Char('x')) == value);
    FUZZ_CHECK(Val(QStringLiteral("  ") + text) == value);
    // A sign in front of a number that has none negates it.
    if (!text.isEmpty() && (text.front().isDigit() || text.front() == u'.') &&
        text.front().unicode() < 0x80)
        FUZZ_CHECK(Val(QLatin1Char('-') + text) == -value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = inputBytes(data, size);
    checkText(QString::fromUtf8(bytes));
    // The same bytes as UTF-16 code units: lone surrogates and every other unit reach Val too.
    checkText(QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2));
    return 0;
}
