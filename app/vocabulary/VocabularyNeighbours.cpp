#include "vocabulary/VocabularyNeighbours.h"

#include "vocabulary/AppVocab.h"

namespace murmelo {

void bindVocabularyNeighbours(DictationNeighbours& neighbours) {
    neighbours.appHasOwnVocab = [](const QString& bundleID) { return AppVocab::vocab(bundleID).has_value(); };
    neighbours.appVocabNoteUse = [](const std::optional<DictationContext>& context) { AppVocab::noteUse(context); };
}

}  // namespace murmelo
