#pragma once
#include <QString>
#include <QtGlobal>
#include <optional>

namespace murmelo {

// Decimal digits as written, with an optional sign and nothing else (no spaces, no
// grouping); nothing for any other text or a value that does not fit 64 bits.
std::optional<qint64> parseDecimal(const QString& text);

// The whole part of x when a 64-bit integer holds it; nothing for NaN, the infinities and
// numbers beyond that range, whose conversion would be undefined.
std::optional<qint64> wholeInt64(double x);

}  // namespace murmelo
