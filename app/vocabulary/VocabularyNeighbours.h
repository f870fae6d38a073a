#pragma once
#include "dictation/DictationNeighbours.h"

namespace murmelo {

// Fills recording control's vocabulary entries: whether an application has its own
// vocabulary, and counting a dictation into it.
void bindVocabularyNeighbours(DictationNeighbours& neighbours);

}  // namespace murmelo
