#pragma once
#include <QString>
#include <QVariantList>

namespace murmelo {

// Interface text by key; the Russian default is given at the call site and returned when
// the chosen interface language has no entry for the key.
QString L(const QString& key, const QString& ruDefault);
// The localised format filled with the arguments (see formatSpec).
QString L(const QString& key, const QString& ruFormat, const QVariantList& args);

}  // namespace murmelo
