#pragma once
#include <QtGlobal>
#include <cmath>
#include <limits>

namespace murmelo {

// Counters come from files the user can edit and may already stand at the limit: sums,
// differences and conversions saturate at the 64-bit bounds instead of overflowing.
inline constexpr qint64 SATURATED_MAX = std::numeric_limits<qint64>::max();
inline constexpr qint64 SATURATED_MIN = std::numeric_limits<qint64>::min();

inline qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? SATURATED_MAX : SATURATED_MIN;
    return r;
}

inline qint64 saturatingSub(qint64 a, qint64 b) {
    qint64 r;
    if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? SATURATED_MAX : SATURATED_MIN;
    return r;
}

// A whole number of x's size (already whole: rounded or truncated by the caller); out-of-range
// values saturate, not-a-number gives 0.
inline qint64 saturatingWhole(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return SATURATED_MAX;
    if (x <= -9223372036854775808.0) return SATURATED_MIN;
    return qint64(x);
}

}  // namespace murmelo
