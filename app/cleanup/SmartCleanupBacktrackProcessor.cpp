#include "cleanup/SmartCleanupProcessors.h"

#include "cleanup/SmartCleanupRegex.h"

namespace murmelo {
namespace {

constexpr int MAX_CORRECTIONS = 8;
constexpr int MAX_CORRECTION_WORDS = 12;

struct CompiledRule {
    const SmartCleanupLanguageProfile* profile;
    const SmartCleanupBacktrackRule* rule;
    Regex regex;
};

const Regex& sentenceDelimiter() {
    static const Regex expression = SmartCleanupRegex::compile(QStringLiteral(R"([.!?\n])"), 0);
    return expression;
}

bool isSentenceDelimiter(QChar c) { return c == u'.' || c == u'!' || c == u'?' || c == u'\n'; }

bool isTrimmed(QChar c) {
    return c.isSpace() || c == u',' || c == u';' || c == u':' || c == u'—' || c == u'–' || c == u'-';
}

QString trimCorrection(const QString& s) {
    qsizetype start = 0, end = s.size();
    while (start < end && isTrimmed(s[start])) ++start;
    while (end > start && isTrimmed(s[end - 1])) --end;
    return s.mid(start, end - start);
}

struct Applied {
    QString text;
    SmartCleanupTrace trace;
};

// Applies the rightmost correction the rules find, if it passes the checks; one per call,
// so chained corrections resolve one at a time from the end.
std::optional<Applied> applyLastCorrection(const QString& text, const QList<const CompiledRule*>& rules,
                                           const QSet<QString>& unsafeCorrectionStarts) {
    const CompiledRule* chosen = nullptr;
    Regex::Match chosenMatch;
    for (const CompiledRule* rule : rules) {
        const QList<Regex::Match> found = rule->regex.matches(text);
        if (found.isEmpty()) continue;
        // A later rule wins only when its match starts strictly further right.
        if (!chosen || found.last().start() > chosenMatch.start()) {
            chosen = rule;
            chosenMatch = found.last();
        }
    }
    if (!chosen) return std::nullopt;

    const qsizetype markerStart = chosenMatch.start();
    const qsizetype markerEnd = chosenMatch.end();
    if (markerEnd >= text.size()) return std::nullopt;

    const std::optional<Regex::Match> delimiter = sentenceDelimiter().firstMatch(text, markerEnd);
    const qsizetype end = delimiter ? delimiter->start() : text.size();

    const QString correction = trimCorrection(text.mid(markerEnd, end - markerEnd));
    if (correction.isEmpty()) return std::nullopt;
    const QStringList correctionWords = SmartCleanupRegex::words(correction);
    if (correctionWords.isEmpty() || correctionWords.size() > MAX_CORRECTION_WORDS) return std::nullopt;
    if (unsafeCorrectionStarts.contains(correctionWords.first().toLower())) return std::nullopt;

    // The clause starts after the last sentence delimiter before the marker, looked for back
    // from the marker rather than over the whole text before it.
    qsizetype clauseStart = markerStart;
    while (clauseStart > 0 && !isSentenceDelimiter(text[clauseStart - 1])) --clauseStart;

    const QString clause = text.mid(clauseStart, markerStart - clauseStart);
    const QList<Regex::Match> clauseWords = SmartCleanupRegex::word().matches(clause);
    if (clauseWords.isEmpty()) return std::nullopt;

    qsizetype replaceFrom = 0;
    if (chosen->rule->kind == SmartCleanupBacktrackKind::discardClause) {
        replaceFrom = clauseStart + clauseWords.first().start();
    } else {
        const qsizetype first = std::max<qsizetype>(clauseWords.size() - correctionWords.size(), 0);
        replaceFrom = clauseStart + clauseWords.at(first).start();
    }

    QString next = text;
    next.replace(replaceFrom, end - replaceFrom, correction);
    if (next == text) return std::nullopt;
    return Applied{next, {SmartCleanupStage::backtrack, chosen->rule->id, chosen->profile->id}};
}

}  // namespace

SmartCleanupProcessorResult SmartCleanupBacktrackProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    QList<CompiledRule> compiled;
    QSet<QString> unsafe;
    for (const SmartCleanupLanguageProfile& profile : context.profiles) {
        for (const SmartCleanupBacktrackRule& rule : profile.backtrackRules) {
            compiled.append({&profile, &rule, SmartCleanupRegex::compile(rule.markerPattern, SmartCleanupRegex::caseInsensitive)});
        }
        // A correction starting with a listed word of any profile is refused, whatever the
        // language of its marker.
        unsafe.unite(profile.unsafeCorrectionStarts);
    }
    QList<const CompiledRule*> discard, tail;
    for (const CompiledRule& r : compiled) {
        (r.rule->kind == SmartCleanupBacktrackKind::discardClause ? discard : tail).append(&r);
    }

    QString current = text;
    QList<SmartCleanupTrace> trace;
    for (int pass = 0; pass < MAX_CORRECTIONS; ++pass) {
        std::optional<Applied> applied = applyLastCorrection(current, discard, unsafe);
        if (!applied) applied = applyLastCorrection(current, tail, unsafe);
        if (!applied) break;
        current = applied->text;
        trace.append(applied->trace);
    }
    return {current, trace};
}

}  // namespace murmelo
