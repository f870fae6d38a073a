#pragma once
#include "cleanup/SmartCleanupLanguageProfile.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace murmelo {

// The kinds of spoken list marker. Each is gated by one list skill.
enum class SmartCleanupListForm {
    markerThenNumber,         // "пункт 1", "шаг два", "point three"
    ordinalThenMarker,        // "первый пункт", "second point"
    discourseOrdinal,         // "во-первых", "secondly"
    bareOrdinalContinuation,  // "второй", "third": only continues a list
    standaloneNumeric,        // "1.", "2)"
};

QString rawValue(SmartCleanupListForm form);
std::optional<SmartCleanupListForm> listFormFromRawValue(const QString& raw);
// Decides between two candidates that start at the same place; larger wins.
int priority(SmartCleanupListForm form);
bool isExplicit(SmartCleanupListForm form);
const SmartCleanupSkillID& skillID(SmartCleanupListForm form);

// One detected marker. Positions are UTF-16 code units of the text.
struct SmartCleanupListCandidate {
    qsizetype location = 0;
    qsizetype length = 0;  // for the numeric form the digits alone
    qint64 number = 0;
    SmartCleanupLanguageProfile profile;  // whose vocabulary produced it
    SmartCleanupListForm form = SmartCleanupListForm::markerThenNumber;
    bool hasLeadingBoundary = false;     // starts the text or follows a strong boundary
    bool hasFollowingDelimiter = false;  // a marker separator follows after blanks

    qsizetype end() const { return location + length; }
    bool isExplicit() const { return murmelo::isExplicit(form); }
};

// Character classes over single UTF-16 code units, and the two scans around a marker.
namespace SmartCleanupListSyntax {

bool isHorizontalWhitespace(QChar c);
// Line breaks and the punctuation that may end a clause before a marker.
bool isStrongBoundary(QChar c);
// What may stand right after a marker: "1." "2)" "во-первых," "first point –".
bool isMarkerSeparator(QChar c);
// What introduces an item and goes with its marker: "," ":" ";".
bool isSoftDelimiter(QChar c);

bool hasLeadingBoundary(qsizetype before, const QString& text);
bool hasFollowingDelimiter(qsizetype after, const QString& text);

// A word with the punctuation (Unicode categories P*) at both ends cut off: "план:" is "план".
QString trimmingPunctuation(const QString& word);

}  // namespace SmartCleanupListSyntax

// Finds every spoken list marker the enabled skills allow. Errs on the side of finding:
// whether markers form a list is the parser's judgement.
struct SmartCleanupListCandidateDetector {
    // Sorted by location, no two overlapping.
    QList<SmartCleanupListCandidate> detect(const QString& text, const QList<SmartCleanupLanguageProfile>& profiles,
                                            const QSet<SmartCleanupSkillID>& enabledSkills) const;

    // The profile that owns digit markers: the one whose header cues the text mentions most,
    // the first on a tie; none without profiles.
    static std::optional<SmartCleanupLanguageProfile> bestNumericProfile(const QString& text,
                                                                        const QList<SmartCleanupLanguageProfile>& profiles);
};

}  // namespace murmelo
