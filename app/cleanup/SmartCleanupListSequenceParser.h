#pragma once
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupListCandidateDetector.h"

#include <QList>
#include <QString>

namespace murmelo {

// The items of one accepted list in text order, numbered consecutively; never empty.
struct SmartCleanupListSequence {
    QList<SmartCleanupListCandidate> candidates;
};

// Decides which runs of markers really form a list. Detection finds too much on purpose;
// false lists are refused here: numbering, bodies of items, header words, boundaries and
// delimiters.
struct SmartCleanupListSequenceParser {
    // `candidates` as the detector returns them; sequences in text order, no candidate in two.
    QList<SmartCleanupListSequence> parse(const QList<SmartCleanupListCandidate>& candidates, const QString& source) const;

    // One of the candidate profile's header words ("план", "list") among the last four words
    // before the candidate.
    static bool hasHeaderCue(const SmartCleanupListCandidate& candidate, const QString& source);
    // At least one letter or number.
    static bool containsContent(QStringView text);
    static bool sequenceHasEnoughStructure(const QList<SmartCleanupListCandidate>& chain, const QString& source);
};

// Rewrites the text so that each list is a header line and one numbered line per item,
// with one trace entry per item.
struct SmartCleanupListRenderer {
    SmartCleanupProcessorResult render(const QList<SmartCleanupListSequence>& sequences, const QString& text) const;

    // "N. " with what must come before it at `start`: nothing at the start of a line, a line
    // break before a later item, and before a first item nothing, a line break after a
    // finished sentence, or ":" and a line break after a header phrase.
    static QString replacement(qint64 number, bool isFirst, qsizetype start, const QString& source);
};

}  // namespace murmelo
