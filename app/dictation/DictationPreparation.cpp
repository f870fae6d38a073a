#include "dictation/DictationPreparation.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "cleanup/SmartCleanupEngine.h"
#include "dictation/DictationModeTrigger.h"

#include <QSet>

namespace murmelo {

PreparedDictation prepareDictationForDelivery(const QString& text, const std::optional<DictationContext>& context,
                                              SmartCleanupMode mode, const std::optional<QString>& language,
                                              const DictationVocabulary& store) {
    QString working = text;
    SmartCleanupMode chosen = mode;
    if (const auto trigger = DictationModeTrigger::detect(text, language)) {
        chosen = trigger->mode;
        working = trigger->rest;
        logLine(QStringLiteral("Smart Cleanup: голосом задан режим «") + SmartCleanupModes::title(chosen) +
                QStringLiteral("» на эту надиктовку"));
    }

    const QString vocab = store.effectiveVocab(context);
    const TermSnapResult snapped = store.termSnap(working, vocab);
    if (!snapped.replacements.isEmpty()) {
        QStringList pairs;
        for (const auto& [from, to] : snapped.replacements) pairs << from + QStringLiteral(" → ") + to;
        logLine(QStringLiteral("термины: ") + pairs.join(QStringLiteral(", ")));
    }

    const QString learned = store.learnedApply(snapped.text, context);
    const SmartCleanupResult result = SmartCleanup::process(learned, chosen, language);

    QStringList changes = result.changes();
    if (learned != snapped.text) changes.prepend(QStringLiteral("learned"));
    if (!snapped.replacements.isEmpty()) changes.prepend(QStringLiteral("terms"));
    if (working != text) changes.prepend(QStringLiteral("trigger"));
    return PreparedDictation{text, learned, result.text, result.trace, changes};
}

DictationPromptPlan dictationPromptPlan(const std::optional<DictationContext>& context,
                                        const DictationVocabulary& store, const QStringList& personal) {
    QStringList vocabTerms;
    for (const QString& entry : store.effectiveVocab(context).split(u',', Qt::SkipEmptyParts)) {
        const QString term = entry.trimmed();
        if (!term.isEmpty()) vocabTerms << term;
    }

    QSet<QString> seen;
    auto fresh = [&seen](const QStringList& terms) {
        QStringList kept;
        for (const QString& term : terms) {
            const QString key = term.toLower();
            if (seen.contains(key)) continue;
            seen.insert(key);
            kept << term;
        }
        return kept;
    };
    const QStringList vocabKept = fresh(vocabTerms);
    QStringList rest = fresh(store.promptTerms(context));
    rest += fresh(personal);

    QString prompt;
    QSet<QString> included;
    auto take = [&](const QString& term) {
        if (!prompt.isEmpty()) prompt += QStringLiteral(", ");
        prompt += term;
        included.insert(term.toLower());
    };
    for (const QString& term : vocabKept) take(term);
    for (const QString& term : rest) {
        const QString candidate = prompt.isEmpty() ? term : prompt + QStringLiteral(", ") + term;
        if (graphemeCount(candidate) > PROMPT_CHAR_BUDGET) break;
        take(term);
    }

    QSet<QString> personalDistinct;
    for (const QString& word : personal) personalDistinct.insert(word.toLower());
    int fit = 0;
    for (const QString& word : personalDistinct)
        if (included.contains(word)) ++fit;
    return DictationPromptPlan{prompt, fit, int(personalDistinct.size())};
}

DictationPromptPlan dictationPromptPlan(const std::optional<DictationContext>& context,
                                        const DictationVocabulary& store) {
    return dictationPromptPlan(context, store, store.personalWords());
}

QString dictationVocabularyPrompt(const std::optional<DictationContext>& context, const DictationVocabulary& store) {
    return dictationPromptPlan(context, store).text;
}

}  // namespace murmelo
