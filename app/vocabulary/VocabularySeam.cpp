#include "vocabulary/VocabularySeam.h"

#include "vocabulary/CorrectorManager.h"
#include "vocabulary/VocabularyNeighbours.h"

namespace murmelo {

VocabularySeam::VocabularySeam() {
    bindDictationNeighbours = [] { bindVocabularyNeighbours(DictationNeighbours::shared()); };
    correctorStart = [](bool force) { CorrectorManager::shared().start(force); };
    correctorStop = [] { CorrectorManager::shared().stop(); };
}

}  // namespace murmelo
