#pragma once
#include <QString>
#include <QVariantList>

namespace murmelo {

// Fills a printf-style format of the interface texts without a locale: "%@" and "%1$@"
// (any value as text), "%d"/"%ld"/"%lld"/"%i"/"%u" (integer), "%x"/"%X" (hexadecimal),
// "%.Nf"/"%f" (real), "%%"; with the flags "-", "0", "+" and a width ("%02d", "%-22@").
// Positional and sequential specifiers may be mixed as printf allows. A specifier with no
// argument stays as it is.
QString formatSpec(const QString& format, const QVariantList& args);

}  // namespace murmelo
