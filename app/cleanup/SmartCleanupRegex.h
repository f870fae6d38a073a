#pragma once
#include "base/Regex.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace murmelo {

// The expression functions every clean-up processor uses. Compiled expressions come from
// the program's one cache (base/Regex.h), keyed by options and pattern, so each rule is
// compiled once per process and shared by every thread.
namespace SmartCleanupRegex {

inline constexpr std::uint32_t caseInsensitive = Regex::CaseInsensitive;

Regex compile(const QString& pattern, std::uint32_t options);

// A word starts with a letter or digit and runs over letters, digits, ".", "_", "'", "’"
// and "-".
const Regex& word();
QStringList words(const QString& text);

// The words escaped to match literally and joined with "|", longest (in characters) first
// so that "fourteen" wins over "four"; equal lengths keep their order.
QString escapedAlternation(const QStringList& words);

QString replace(const Regex& regex, const QString& text, const QString& templ);

// Visits the matches from the last to the first, so earlier ranges stay valid; `transform`
// gets each match with the text as it was before any replacement and answers the
// replacement, or nothing to leave the match alone.
using Transform = std::function<std::optional<QString>(const Regex::Match&, const QString&)>;
QString replaceWithCallback(const Regex& regex, const QString& text, const Transform& transform);

}  // namespace SmartCleanupRegex
}  // namespace murmelo
