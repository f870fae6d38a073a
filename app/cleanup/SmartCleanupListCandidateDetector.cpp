#include "cleanup/SmartCleanupListCandidateDetector.h"

#include "cleanup/SmartCleanupRegex.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <algorithm>

namespace murmelo {

QString rawValue(SmartCleanupListForm form) {
    switch (form) {
    case SmartCleanupListForm::markerThenNumber: return QStringLiteral("marker-number");
    case SmartCleanupListForm::ordinalThenMarker: return QStringLiteral("ordinal-marker");
    case SmartCleanupListForm::discourseOrdinal: return QStringLiteral("discourse");
    case SmartCleanupListForm::bareOrdinalContinuation: return QStringLiteral("bare-continuation");
    case SmartCleanupListForm::standaloneNumeric: return QStringLiteral("numeric-marker");
    }
    return {};
}

std::optional<SmartCleanupListForm> listFormFromRawValue(const QString& raw) {
    for (SmartCleanupListForm form :
         {SmartCleanupListForm::markerThenNumber, SmartCleanupListForm::ordinalThenMarker, SmartCleanupListForm::discourseOrdinal,
          SmartCleanupListForm::bareOrdinalContinuation, SmartCleanupListForm::standaloneNumeric}) {
        if (rawValue(form) == raw) return form;
    }
    return std::nullopt;
}

int priority(SmartCleanupListForm form) {
    switch (form) {
    case SmartCleanupListForm::markerThenNumber: return 4;
    case SmartCleanupListForm::ordinalThenMarker: return 5;
    case SmartCleanupListForm::discourseOrdinal: return 2;
    case SmartCleanupListForm::bareOrdinalContinuation: return 1;
    case SmartCleanupListForm::standaloneNumeric: return 3;
    }
    return 0;
}

bool isExplicit(SmartCleanupListForm form) { return form != SmartCleanupListForm::bareOrdinalContinuation; }

const SmartCleanupSkillID& skillID(SmartCleanupListForm form) {
    switch (form) {
    case SmartCleanupListForm::markerThenNumber: return SmartCleanupSkillRegistry::markerThenNumber();
    case SmartCleanupListForm::ordinalThenMarker: return SmartCleanupSkillRegistry::ordinalThenMarker();
    case SmartCleanupListForm::discourseOrdinal: return SmartCleanupSkillRegistry::discourseOrdinal();
    case SmartCleanupListForm::bareOrdinalContinuation: return SmartCleanupSkillRegistry::bareOrdinalContinuation();
    case SmartCleanupListForm::standaloneNumeric: return SmartCleanupSkillRegistry::standaloneNumeric();
    }
    return SmartCleanupSkillRegistry::markerThenNumber();
}

namespace SmartCleanupListSyntax {

bool isHorizontalWhitespace(QChar c) { return c == u' ' || c == u'\t'; }

bool isStrongBoundary(QChar c) {
    switch (c.unicode()) {
    case u'\n': case u'\r': case u'!': case u',': case u'-': case u'.': case u':': case u';': case u'?':
    case u'\u2013': case u'\u2014':
        return true;
    default:
        return false;
    }
}

bool isMarkerSeparator(QChar c) {
    switch (c.unicode()) {
    case u'!': case u')': case u',': case u'-': case u'.': case u':': case u';': case u'?': case u'\u2013': case u'\u2014':
        return true;
    default:
        return false;
    }
}

bool isSoftDelimiter(QChar c) { return c == u',' || c == u':' || c == u';'; }

bool hasLeadingBoundary(qsizetype before, const QString& text) {
    qsizetype i = std::min(before, text.size()) - 1;
    while (i >= 0 && isHorizontalWhitespace(text[i])) --i;
    return i < 0 || isStrongBoundary(text[i]);
}

bool hasFollowingDelimiter(qsizetype after, const QString& text) {
    qsizetype i = std::max<qsizetype>(after, 0);
    while (i < text.size() && isHorizontalWhitespace(text[i])) ++i;
    return i < text.size() && isMarkerSeparator(text[i]);
}

QString trimmingPunctuation(const QString& word) {
    // Whole code points, so a punctuation mark outside the basic plane is cut as one.
    auto punctuationAt = [&word](qsizetype from, qsizetype to, bool atEnd) -> int {
        if (from >= to) return 0;
        const qsizetype i = atEnd ? to - 1 : from;
        char32_t scalar = word[i].unicode();
        int width = 1;
        if (atEnd && word[i].isLowSurrogate() && i - 1 >= from && word[i - 1].isHighSurrogate()) {
            scalar = QChar::surrogateToUcs4(word[i - 1], word[i]);
            width = 2;
        } else if (!atEnd && word[i].isHighSurrogate() && i + 1 < to && word[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(word[i], word[i + 1]);
            width = 2;
        }
        return QChar::isPunct(scalar) ? width : 0;
    };
    qsizetype start = 0, end = word.size();
    while (int w = punctuationAt(start, end, false)) start += w;
    while (int w = punctuationAt(start, end, true)) end -= w;
    return word.mid(start, end - start);
}

}  // namespace SmartCleanupListSyntax

namespace {

using namespace SmartCleanupListSyntax;

// Word patterns never start or end inside a word, a number or after an underscore.
const QString PREFIX = QStringLiteral(R"((?<![\p{L}\p{N}_])()");
const QString SUFFIX = QStringLiteral(R"()(?![\p{L}\p{N}_]))");
const QString BETWEEN = QStringLiteral(R"()\s+()");

// One or two digits before "." or ")", then blanks and something, or a letter at once:
// "1. x", "1.x", "2) x", "план:1. x", also the "1" of "report1.txt"; never "1.2" or a final "3.".
const QString NUMERIC_PATTERN = QStringLiteral(R"((?<!\p{N})(\d{1,2})(?=\s*[.)](?:\s+\S|\p{L})))");

std::optional<qint64> asciiDecimal(const QString& digits) {
    if (digits.isEmpty()) return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

SmartCleanupListCandidate makeCandidate(const QString& text, qsizetype location, qsizetype length, qint64 number,
                                        const SmartCleanupLanguageProfile& profile, SmartCleanupListForm form) {
    return {location, length, number, profile, form, hasLeadingBoundary(location, text), hasFollowingDelimiter(location + length, text)};
}

Regex compiled(const QString& pattern) { return SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive); }

// The four word forms of one profile, each only when its skill is enabled and its
// vocabulary is not empty; appended in form order, each in match order.
void wordCandidates(const QString& text, const SmartCleanupLanguageProfile& profile, const QSet<SmartCleanupSkillID>& skills,
                    QList<SmartCleanupListCandidate>& out) {
    const QString markers = SmartCleanupRegex::escapedAlternation(profile.listMarkers);
    const QString numberWords = SmartCleanupRegex::escapedAlternation(profile.listNumbers.keys());
    const QString numberPart = numberWords.isEmpty() ? QStringLiteral(R"(\d+)") : QStringLiteral(R"((?:\d+|)") + numberWords + u')';
    const QString ordinals = SmartCleanupRegex::escapedAlternation(profile.listOrdinalNumbers.keys());

    if (skills.contains(SmartCleanupSkillRegistry::markerThenNumber()) && !markers.isEmpty()) {
        const Regex regex = compiled(PREFIX + markers + BETWEEN + numberPart + SUFFIX);
        for (const Regex::Match& m : regex.matches(text)) {
            const std::optional<qint64> number = profile.numberValue(m.captured(text, 2), true);
            if (!number) continue;
            out.append(makeCandidate(text, m.start(), m.length(), *number, profile, SmartCleanupListForm::markerThenNumber));
        }
    }
    if (skills.contains(SmartCleanupSkillRegistry::ordinalThenMarker()) && !ordinals.isEmpty() && !markers.isEmpty()) {
        const Regex regex = compiled(PREFIX + ordinals + BETWEEN + markers + SUFFIX);
        for (const Regex::Match& m : regex.matches(text)) {
            const std::optional<qint64> number = profile.listOrdinalNumbers.value(m.captured(text, 1).toLower());
            if (!number) continue;
            out.append(makeCandidate(text, m.start(), m.length(), *number, profile, SmartCleanupListForm::ordinalThenMarker));
        }
    }
    if (skills.contains(SmartCleanupSkillRegistry::discourseOrdinal()) && !profile.listDiscourseNumbers.isEmpty()) {
        const Regex regex = compiled(PREFIX + SmartCleanupRegex::escapedAlternation(profile.listDiscourseNumbers.keys()) + SUFFIX);
        for (const Regex::Match& m : regex.matches(text)) {
            const std::optional<qint64> number = profile.listDiscourseNumbers.value(m.captured(text, 1).toLower());
            if (!number) continue;
            out.append(makeCandidate(text, m.start(), m.length(), *number, profile, SmartCleanupListForm::discourseOrdinal));
        }
    }
    if (skills.contains(SmartCleanupSkillRegistry::bareOrdinalContinuation()) && !ordinals.isEmpty()) {
        const Regex regex = compiled(PREFIX + ordinals + SUFFIX);
        for (const Regex::Match& m : regex.matches(text)) {
            const std::optional<qint64> number = profile.listOrdinalNumbers.value(m.captured(text, 1).toLower());
            if (!number) continue;
            // Inside a sentence ("the second section") an ordinal is no marker.
            if (!hasLeadingBoundary(m.start(), text)) continue;
            out.append(makeCandidate(text, m.start(), m.length(), *number, profile, SmartCleanupListForm::bareOrdinalContinuation));
        }
    }
}

void numericCandidates(const QString& text, const QList<Regex::Match>& matches, const SmartCleanupLanguageProfile& profile,
                       QList<SmartCleanupListCandidate>& out) {
    for (const Regex::Match& m : matches) {
        const std::optional<qint64> number = asciiDecimal(m.captured(text, 1));
        if (!number) continue;
        out.append(makeCandidate(text, m.start(1), m.length(1), *number, profile, SmartCleanupListForm::standaloneNumeric));
    }
}

// The earlier start wins; at the same start the stronger form, then the longer match, then
// the earlier profile. What remains shares no code unit with anything kept before it.
QList<SmartCleanupListCandidate> removeOverlaps(QList<SmartCleanupListCandidate> candidates) {
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        if (a.location != b.location) return a.location < b.location;
        if (priority(a.form) != priority(b.form)) return priority(a.form) > priority(b.form);
        return a.length > b.length;
    });
    QList<SmartCleanupListCandidate> kept;
    for (const SmartCleanupListCandidate& c : candidates) {
        const bool overlaps = std::any_of(kept.cbegin(), kept.cend(), [&c](const SmartCleanupListCandidate& k) {
            return std::max(c.location, k.location) < std::min(c.end(), k.end());
        });
        if (!overlaps) kept.append(c);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.location < b.location; });
    return kept;
}

}  // namespace

std::optional<SmartCleanupLanguageProfile> SmartCleanupListCandidateDetector::bestNumericProfile(
    const QString& text, const QList<SmartCleanupLanguageProfile>& profiles) {
    if (profiles.isEmpty()) return std::nullopt;
    if (profiles.size() == 1) return profiles.first();
    QStringList words;
    for (const QString& w : SmartCleanupRegex::words(text)) words.append(trimmingPunctuation(w));
    const SmartCleanupLanguageProfile* best = nullptr;
    int bestScore = -1;
    for (const SmartCleanupLanguageProfile& profile : profiles) {
        int score = 0;
        for (const QString& cue : profile.listHeaderCues) {
            if (words.contains(cue, Qt::CaseInsensitive)) ++score;
        }
        if (score > bestScore) {
            best = &profile;
            bestScore = score;
        }
    }
    return *best;
}

QList<SmartCleanupListCandidate> SmartCleanupListCandidateDetector::detect(const QString& text,
                                                                           const QList<SmartCleanupLanguageProfile>& profiles,
                                                                           const QSet<SmartCleanupSkillID>& enabledSkills) const {
    if (text.isEmpty() || enabledSkills.isEmpty()) return {};
    QList<SmartCleanupListCandidate> found;
    for (const SmartCleanupLanguageProfile& profile : profiles) wordCandidates(text, profile, enabledSkills, found);
    if (enabledSkills.contains(SmartCleanupSkillRegistry::standaloneNumeric())) {
        // The owner is only worth choosing when there is a digit marker to own.
        const QList<Regex::Match> matches = compiled(NUMERIC_PATTERN).matches(text);
        if (!matches.isEmpty()) {
            if (const std::optional<SmartCleanupLanguageProfile> owner = bestNumericProfile(text, profiles)) {
                numericCandidates(text, matches, *owner, found);
            }
        }
    }
    return removeOverlaps(std::move(found));
}

}  // namespace murmelo
