#pragma once
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationVocabulary.h"

namespace murmelo {

// Fills recording control's and the pipeline's vocabulary entries: whether an application
// has its own vocabulary and counting a dictation into it, the stores the preparation of a
// dictation and its prompt read (on the shared dictation vocabulary), and the last delivered
// dictation for the correction flow.
void bindVocabularyNeighbours(DictationNeighbours& neighbours);
// The vocabulary, term snapping, learned replacements, their prompt terms and the personal
// dictionary.
void bindDictationVocabulary(DictationVocabulary& vocabulary);

}  // namespace murmelo
