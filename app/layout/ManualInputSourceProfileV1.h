#pragma once
#include <QSet>
#include <QString>
#include <optional>

namespace murmelo {

// The two keyboard layouts the layout machinery works with, US English and Russian, and the
// ways between their input sources and their languages. Anything outside this pair is not
// ours to select, convert into or act under.
namespace ManualInputSourceProfileV1 {

inline const QString id = QStringLiteral("english-us-russian-apple.v1");
inline const QString englishUS = QStringLiteral("com.apple.keylayout.US");
inline const QString russianApple = QStringLiteral("com.apple.keylayout.Russian");
// The language in which one word is enough to confirm a change of language.
inline const std::optional<QString> firstWordConfirms = QStringLiteral("ru");

const QSet<QString>& supportedSourceIDs();

// Exact, case-sensitive comparisons throughout: no prefixes, no case folding.
bool contains(const std::optional<QString>& sourceID);
std::optional<QString> language(const std::optional<QString>& sourceID);
std::optional<QString> sourceID(const QString& language);
std::optional<QString> opposite(const std::optional<QString>& sourceID);

}  // namespace ManualInputSourceProfileV1
}  // namespace murmelo
