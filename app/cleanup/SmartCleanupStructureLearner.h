#pragma once
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupScenarioStore.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace murmelo {

// Turns a correction of the last dictation into a confirmed self-test scenario when the
// correction makes the text a numbered list and keeps its content.
namespace SmartCleanupStructureLearner {

// `source` is the recognised text of the last delivered dictation (before learned
// replacements and clean-up), `corrected` the user's text.
std::optional<SmartCleanupScenarioCase> scenario(const QString& source, const QString& corrected);

// Share of the corrected text's content words (item numbers left out) found in the source.
double contentOverlap(const QString& source, const QString& expected);

// The list skills that the structure entries of a trace used.
QSet<SmartCleanupSkillID> skills(const QList<SmartCleanupTrace>& trace);

}  // namespace SmartCleanupStructureLearner
}  // namespace murmelo
