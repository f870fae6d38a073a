#pragma once
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace murmelo::RecognitionLanguage {

// The user setting that pins the recognition language.
inline constexpr const char* key = "recogLanguage";
inline constexpr const char* autoCode = "auto";

// The pinnable languages, each (code, title in its own language), in menu order.
const QList<std::pair<QString, QString>>& choices();

// The stored code when it is "auto" or one of the choices; "auto" otherwise.
QString current();
void setCurrent(const QString& code);
// What a recognition request sends as "language": none for "auto".
std::optional<QString> requestField();

}  // namespace murmelo::RecognitionLanguage
