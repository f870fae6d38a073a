#pragma once
#include "cleanup/SmartCleanupScenarioStore.h"

#include <QList>

namespace murmelo {

// The scenarios the clean-up rules test themselves on. Rebuilt on every call.
namespace SmartCleanupScenarioCorpus {

// Hand-written list dictations, then sentences that must come out untouched.
QList<SmartCleanupScenarioCase> builtIn();
QList<SmartCleanupScenarioCase> negativeCases();
// Every list form in both languages, three titles and five separators, then the digit forms.
QList<SmartCleanupScenarioCase> generated();
// Dash, spacing and final-punctuation variants of the user's confirmed cases.
QList<SmartCleanupScenarioCase> generated(const QList<SmartCleanupScenarioCase>& fromConfirmed);

}  // namespace SmartCleanupScenarioCorpus
}  // namespace murmelo
