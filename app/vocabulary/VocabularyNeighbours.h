#pragma once
#include "dictation/DictationNeighbours.h"

namespace murmelo {

// Fills recording control's and the pipeline's vocabulary entries: whether an application
// has its own vocabulary and counting a dictation into it, the learned replacements in the
// preparation of a dictation, and the last delivered dictation for the correction flow.
void bindVocabularyNeighbours(DictationNeighbours& neighbours);

// Learned replacements on the recognised text, then the rule clean-up on the result.
PreparedDictation prepareDictationForDelivery(const QString& text, const std::optional<DictationContext>& context,
                                              SmartCleanupMode mode, const std::optional<QString>& language);

}  // namespace murmelo
