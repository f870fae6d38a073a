#pragma once
#include "cleanup/SmartCleanupMode.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationVocabulary.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// The most characters (as the user sees them) learned terms and personal words may bring the
// prompt to; the vocabulary terms of the context are always in it.
inline constexpr int PROMPT_CHAR_BUDGET = 420;

struct DictationPromptPlan {
    QString text;
    int personalFit = 0;
    int personalTotal = 0;
};

// Mode trigger, term snapping, learned replacements, then the clean-up in the mode.
PreparedDictation prepareDictationForDelivery(const QString& text, const std::optional<DictationContext>& context,
                                              SmartCleanupMode mode, const std::optional<QString>& language,
                                              const DictationVocabulary& store = DictationVocabulary::shared());

DictationPromptPlan dictationPromptPlan(const std::optional<DictationContext>& context,
                                        const DictationVocabulary& store, const QStringList& personal);
DictationPromptPlan dictationPromptPlan(const std::optional<DictationContext>& context,
                                        const DictationVocabulary& store = DictationVocabulary::shared());
// The prompt text alone, with the personal dictionary.
QString dictationVocabularyPrompt(const std::optional<DictationContext>& context,
                                  const DictationVocabulary& store = DictationVocabulary::shared());

}  // namespace murmelo
