#pragma once
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Finds the user's own agent program. Nothing is cached: an installation or removal counts
// from the next reply. Any thread.
namespace CodexExecutable {

inline const QString overrideKey = QStringLiteral("ONDRIX_CODEX_EXECUTABLE");

// The paths tried, in order, repeats left in.
QStringList candidates(const QProcessEnvironment& environment);
// The first candidate that is an executable regular file for this user; a candidate equal to
// one already tried is not tried again.
std::optional<QString> url(const QProcessEnvironment& environment);
std::optional<QString> url();

}  // namespace CodexExecutable

}  // namespace murmelo
