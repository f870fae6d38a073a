#include "vocabulary/VocabularySeam.h"

#include "dictation/WhisperReply.h"
#include "vocabulary/CorrectorManager.h"
#include "vocabulary/TextReplacements.h"
#include "vocabulary/VocabularyNeighbours.h"

namespace murmelo {

VocabularySeam::VocabularySeam() {
    bindDictationNeighbours = [] {
        bindVocabularyNeighbours(DictationNeighbours::shared());
        ReplyTextServices::shared().applyTextReplacements = [](const QString& text) { return TextReplacements::apply(text); };
    };
    correctorStart = [](bool force) { CorrectorManager::shared().start(force); };
    correctorStop = [] { CorrectorManager::shared().stop(); };
}

}  // namespace murmelo
