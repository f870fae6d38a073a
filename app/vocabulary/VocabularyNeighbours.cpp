#include "vocabulary/VocabularyNeighbours.h"

#include "vocabulary/AppVocab.h"
#include "vocabulary/DictationLearningStore.h"
#include "vocabulary/PersonalDictionary.h"

namespace murmelo {

void bindDictationVocabulary(DictationVocabulary& vocabulary) {
    vocabulary.effectiveVocab = [](const std::optional<DictationContext>& context) {
        return AppVocab::effectiveVocab(context);
    };
    vocabulary.learnedApply = [](const QString& text, const std::optional<DictationContext>& context) {
        return DictationLearningStore::shared().apply(text, context);
    };
    vocabulary.promptTerms = [](const std::optional<DictationContext>& context) {
        return DictationLearningStore::shared().promptTerms(context);
    };
    vocabulary.personalWords = [] { return PersonalDictionary::words(); };
    // Term snapping is not built yet: its entry keeps saying so.
}

void bindVocabularyNeighbours(DictationNeighbours& neighbours) {
    neighbours.appHasOwnVocab = [](const QString& bundleID) { return AppVocab::vocab(bundleID).has_value(); };
    neighbours.appVocabNoteUse = [](const std::optional<DictationContext>& context) { AppVocab::noteUse(context); };
    bindDictationVocabulary(DictationVocabulary::shared());
    neighbours.learningRecordLast = [](const QString& source, const QString& delivered,
                                       const std::optional<DictationContext>& context, SmartCleanupMode mode) {
        DictationLearningStore::shared().recordLast(source, delivered, context, mode);
    };
}

}  // namespace murmelo
