#include "vocabulary/VocabularyNeighbours.h"

#include "base/Log.h"
#include "cleanup/SmartCleanupEngine.h"
#include "vocabulary/AppVocab.h"
#include "vocabulary/DictationLearningStore.h"

namespace murmelo {

PreparedDictation prepareDictationForDelivery(const QString& text, const std::optional<DictationContext>& context,
                                              SmartCleanupMode mode, const std::optional<QString>& language) {
    static bool said = false;
    if (!said) {
        said = true;
        logLine(QStringLiteral("заглушка: режимные триггеры и подстановка терминов — этой части в сборке ещё нет"));
    }
    const QString learned = DictationLearningStore::shared().apply(text, context);
    const SmartCleanupResult cleaned = SmartCleanup::process(learned, mode, language);
    QStringList changes = cleaned.changes();
    if (learned != text) changes.prepend(QStringLiteral("learned"));
    return PreparedDictation{text, learned, cleaned.text, cleaned.trace, changes};
}

void bindVocabularyNeighbours(DictationNeighbours& neighbours) {
    neighbours.appHasOwnVocab = [](const QString& bundleID) { return AppVocab::vocab(bundleID).has_value(); };
    neighbours.appVocabNoteUse = [](const std::optional<DictationContext>& context) { AppVocab::noteUse(context); };
    neighbours.prepareDictationForDelivery = &prepareDictationForDelivery;
    neighbours.learningRecordLast = [](const QString& source, const QString& delivered,
                                       const std::optional<DictationContext>& context, SmartCleanupMode mode) {
        DictationLearningStore::shared().recordLast(source, delivered, context, mode);
    };
}

}  // namespace murmelo
