#include "cleanup/SmartCleanupStructureLearner.h"

#include "base/Graphemes.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupRegex.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <QUuid>

namespace murmelo::SmartCleanupStructureLearner {
namespace {

QString trimPunctuation(const QString& word) {
    qsizetype start = 0, end = word.size();
    while (start < end && word.at(start).isPunct()) ++start;
    while (end > start && word.at(end - 1).isPunct()) --end;
    return word.mid(start, end - start);
}

bool isDecimalInteger(const QString& word) {
    bool ok = false;
    word.toLongLong(&ok, 10);
    if (!ok) return false;
    // toLongLong tolerates surrounding white space; a word has none, but be exact anyway.
    return !word.isEmpty() && !word.front().isSpace() && !word.back().isSpace();
}

QStringList contentWords(const QString& text) {
    QStringList out;
    for (const QString& w : SmartCleanupRegex::words(text)) out << trimPunctuation(w.toLower());
    return out;
}

}  // namespace

std::optional<SmartCleanupScenarioCase> scenario(const QString& source, const QString& corrected) {
    const QString s = source.trimmed();
    const QString c = corrected.trimmed();
    if (s.isEmpty() || c.isEmpty() || sameCleanupText(s, c)) return std::nullopt;
    if (graphemeCount(s) > SmartCleanupScenarioStore::maximumTextLength ||
        graphemeCount(c) > SmartCleanupScenarioStore::maximumTextLength)
        return std::nullopt;

    static const QString numberedLine = QStringLiteral("(?m)^\\s*\\d+[.)]\\s+\\S+");
    if (SmartCleanupRegex::compile(numberedLine, 0).matches(c).size() < 2) return std::nullopt;
    if (contentOverlap(s, c) < 0.75) return std::nullopt;

    const SmartCleanupResult cleaned =
        SmartCleanupEngine(SmartCleanupProfileRegistry::defaultProfiles(), SmartCleanupSkillRegistry::all())
            .process(s, SmartCleanupMode::clean);
    const QSet<SmartCleanupSkillID> required = sameCleanupText(cleaned.text, c) ? skills(cleaned.trace)
                                                                                : QSet<SmartCleanupSkillID>{};

    return SmartCleanupScenarioCase{
        QStringLiteral("confirmed.") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
        s,
        c,
        SmartCleanupMode::clean,
        SmartCleanupScenarioOrigin::confirmedCorrection,
        sortedSkills(required)};
}

double contentOverlap(const QString& source, const QString& expected) {
    const QStringList sourceWords = contentWords(source);
    const QSet<QString> sourceSet(sourceWords.begin(), sourceWords.end());
    qsizetype content = 0, found = 0;
    for (const QString& word : contentWords(expected)) {
        if (isDecimalInteger(word)) continue;
        ++content;
        if (sourceSet.contains(word)) ++found;
    }
    return content == 0 ? 0.0 : double(found) / double(content);
}

QSet<SmartCleanupSkillID> skills(const QList<SmartCleanupTrace>& trace) {
    namespace R = SmartCleanupSkillRegistry;
    const std::pair<const char*, const SmartCleanupSkillID*> table[] = {
        {".marker-number", &R::markerThenNumber()},       {".ordinal-marker", &R::ordinalThenMarker()},
        {".bare-continuation", &R::bareOrdinalContinuation()}, {".discourse", &R::discourseOrdinal()},
        {".numeric-marker", &R::standaloneNumeric()},
    };
    QSet<SmartCleanupSkillID> out;
    for (const SmartCleanupTrace& entry : trace) {
        if (entry.stage != SmartCleanupStage::structure) continue;
        for (const auto& [suffix, skill] : table) {
            if (entry.ruleID.rawValue.endsWith(QLatin1String(suffix))) {
                out.insert(*skill);
                break;
            }
        }
    }
    return out;
}

}  // namespace murmelo::SmartCleanupStructureLearner
