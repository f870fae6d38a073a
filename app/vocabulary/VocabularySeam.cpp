#include "vocabulary/VocabularySeam.h"

#include "vocabulary/VocabularyNeighbours.h"

namespace murmelo {

VocabularySeam::VocabularySeam() {
    bindDictationNeighbours = [] { bindVocabularyNeighbours(DictationNeighbours::shared()); };
}

}  // namespace murmelo
