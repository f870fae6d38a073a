#include "base/Decimal.h"

#include <limits>

namespace murmelo {

std::optional<qint64> parseDecimal(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulated as a negative number: its range holds the smallest 64-bit value too.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == lowest) return std::nullopt;
    return -value;
}

std::optional<qint64> wholeInt64(double x) {
    // Both bounds are powers of two, exact as doubles; NaN fails both comparisons.
    if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0)) return std::nullopt;
    return qint64(x);
}

}  // namespace murmelo
