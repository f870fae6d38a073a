#pragma once
#include <QString>
#include <QtGlobal>
#include <optional>

namespace murmelo {

// Decimal digits as written, with an optional sign and nothing else (no spaces, no
// grouping); nothing for any other text or a value that does not fit 64 bits.
std::optional<qint64> parseDecimal(const QString& text);

}  // namespace murmelo
