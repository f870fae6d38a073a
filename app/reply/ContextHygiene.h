#pragma once
#include "base/Regex.h"

#include <QList>
#include <QString>

namespace murmelo {

// Takes credentials out of screen context before it leaves the process: keys, tokens, private
// keys, password assignments and card numbers become one mark each, and are counted.
namespace ContextHygiene {

inline const QString mark = QStringLiteral("[скрыто]");

struct Redaction {
    QString text;
    int redacted = 0;
};

// The secret patterns in the order they are applied, compiled once; one that does not compile
// is left out (the regular-expression helper says so in the log).
const QList<Regex>& compiled();
// Card-number candidates; their digits must still pass the Luhn check.
const Regex& cardPattern();

// Any thread; never fails.
Redaction redactSecrets(const QString& text);
// Between 13 and 19 digits (separators ignored) that pass the Luhn check.
bool isLuhnValid(const QString& text);

}  // namespace ContextHygiene

}  // namespace murmelo
