#include "vocabulary/VocabularyNeighbours.h"

#include "vocabulary/AppVocab.h"
#include "vocabulary/DictationLearningStore.h"
#include "vocabulary/PersonalDictionary.h"
#include "vocabulary/TermSnap.h"

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
    vocabulary.termSnap = [](const QString& text, const QString& vocab) {
        const TermSnap::Result snapped = TermSnap::apply(text, vocab, &TermSnap::isEnglishWord);
        TermSnapResult result{snapped.text, {}};
        for (const TermSnap::Change& c : snapped.changes) result.replacements.append({c.from, c.to});
        return result;
    };
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
