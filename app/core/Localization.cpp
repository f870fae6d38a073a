#include "core/Localization.h"

#include "core/Format.h"

namespace murmelo {

QString L(const QString& /*key*/, const QString& ruDefault) { return ruDefault; }

QString L(const QString& key, const QString& ruFormat, const QVariantList& args) {
    return formatSpec(L(key, ruFormat), args);
}

}  // namespace murmelo
