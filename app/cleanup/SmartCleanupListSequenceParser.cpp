#include "cleanup/SmartCleanupListSequenceParser.h"

#include "cleanup/SmartCleanupRegex.h"

#include <QSet>

#include <algorithm>

namespace murmelo {

using namespace SmartCleanupListSyntax;

namespace {

constexpr int HEADER_WINDOW_WORDS = 4;
constexpr int FEWEST_ITEMS_WITHOUT_SECOND_EXPLICIT = 3;
constexpr int FEWEST_BARE_ITEMS = 3;

bool hasBodyBetween(const SmartCleanupListCandidate& previous, const SmartCleanupListCandidate& next, const QString& source) {
    return SmartCleanupListSequenceParser::containsContent(QStringView(source).mid(previous.end(), next.location - previous.end()));
}

bool canFollow(const SmartCleanupListCandidate& previous, const SmartCleanupListCandidate& next, const QString& source) {
    return next.number == previous.number + 1 && next.location >= previous.end() && hasBodyBetween(previous, next, source);
}

bool lastItemHasBody(const QList<SmartCleanupListCandidate>& chain, const QString& source) {
    return SmartCleanupListSequenceParser::containsContent(QStringView(source).mid(chain.last().end()));
}

bool acceptExplicitChain(const QList<SmartCleanupListCandidate>& chain, const QString& source) {
    const auto explicitCount = std::count_if(chain.cbegin(), chain.cend(), [](const auto& c) { return c.isExplicit(); });
    // One explicit marker followed by bare ordinals is a list only when announced.
    if (explicitCount == 1 && (chain.size() < FEWEST_ITEMS_WITHOUT_SECOND_EXPLICIT ||
                               !SmartCleanupListSequenceParser::hasHeaderCue(chain.first(), source))) {
        return false;
    }
    if (!lastItemHasBody(chain, source)) return false;
    return SmartCleanupListSequenceParser::sequenceHasEnoughStructure(chain, source);
}

bool acceptBareChain(const QList<SmartCleanupListCandidate>& chain, const QString& source) {
    if (chain.size() < FEWEST_BARE_ITEMS || !lastItemHasBody(chain, source)) return false;
    if (SmartCleanupListSequenceParser::hasHeaderCue(chain.first(), source)) return true;
    return std::all_of(chain.cbegin(), chain.cend(), [](const auto& c) { return c.hasFollowingDelimiter; });
}

}  // namespace

bool SmartCleanupListSequenceParser::containsContent(QStringView text) {
    // Stops at the first letter or digit: asked of the whole rest of a dictation for every chain.
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t scalar = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (QChar::isLetterOrNumber(scalar)) return true;
    }
    return false;
}

namespace {

// The last `count` words of the source before `end`, read from a stretch just before it that
// doubles until it holds one word more than asked (its first may be cut) or reaches the start:
// reading everything before every candidate made long dictations cost the square of their length.
QStringList lastWords(const QString& source, qsizetype end, qsizetype count) {
    for (qsizetype span = 128;; span *= 2) {
        const qsizetype from = std::max<qsizetype>(end - span, 0);
        const QStringList words = SmartCleanupRegex::words(source.mid(from, end - from));
        if (from == 0 || words.size() > count) return words.mid(std::max<qsizetype>(words.size() - count, 0));
    }
}

}  // namespace

bool SmartCleanupListSequenceParser::hasHeaderCue(const SmartCleanupListCandidate& candidate, const QString& source) {
    const QStringList words = lastWords(source, candidate.location, HEADER_WINDOW_WORDS);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString word = trimmingPunctuation(words[i]);
        for (const QString& cue : candidate.profile.listHeaderCues) {
            if (cue.compare(word, Qt::CaseInsensitive) == 0) return true;
        }
    }
    return false;
}

bool SmartCleanupListSequenceParser::sequenceHasEnoughStructure(const QList<SmartCleanupListCandidate>& chain, const QString& source) {
    const SmartCleanupListCandidate& first = chain.first();
    const auto allDelimited = [&chain](bool explicitOnly) {
        return std::all_of(chain.cbegin(), chain.cend(),
                           [explicitOnly](const auto& c) { return (explicitOnly && !c.isExplicit()) || c.hasFollowingDelimiter; });
    };
    switch (first.form) {
    case SmartCleanupListForm::markerThenNumber:
        // "пункт 1 …, пункт 2 …" says plainly that it is a list.
        return true;
    case SmartCleanupListForm::standaloneNumeric:
        // Bare digits are everywhere (versions, file names, "модель 1."): a list of them
        // starts at 1 and is announced, or looks like one throughout.
        if (first.number != 1) return false;
        if (hasHeaderCue(first, source)) return true;
        return chain.size() >= FEWEST_ITEMS_WITHOUT_SECOND_EXPLICIT && first.hasLeadingBoundary && allDelimited(false);
    default:
        break;
    }
    if (std::all_of(chain.cbegin(), chain.cend(), [](const auto& c) { return c.form == SmartCleanupListForm::discourseOrdinal; })) {
        return std::all_of(chain.cbegin(), chain.cend(), [](const auto& c) { return c.hasLeadingBoundary; });
    }
    return hasHeaderCue(first, source) || allDelimited(true);
}

QList<SmartCleanupListSequence> SmartCleanupListSequenceParser::parse(const QList<SmartCleanupListCandidate>& candidates,
                                                                       const QString& source) const {
    QList<SmartCleanupListSequence> sequences;
    qsizetype i = 0;
    while (i < candidates.size()) {
        const SmartCleanupListCandidate& first = candidates[i];
        QList<SmartCleanupListCandidate> chain{first};
        for (qsizetype j = i + 1; j < candidates.size(); ++j) {
            const SmartCleanupListCandidate& next = candidates[j];
            // A list begun with bare ordinals goes on with bare ordinals only.
            if (!first.isExplicit() && next.isExplicit()) break;
            if (!canFollow(chain.last(), next, source)) break;
            if (next.form == SmartCleanupListForm::ordinalThenMarker && !next.hasLeadingBoundary) break;
            chain.append(next);
        }
        const bool accepted = first.isExplicit() ? acceptExplicitChain(chain, source) : acceptBareChain(chain, source);
        if (accepted) {
            i += chain.size();
            sequences.append({chain});
        } else {
            // A later marker of a refused chain may still start a list of its own.
            ++i;
        }
    }
    return sequences;
}

QString SmartCleanupListRenderer::replacement(qint64 number, bool isFirst, qsizetype start, const QString& source) {
    const QString item = QString::number(number) + QStringLiteral(". ");
    if (start > 0 && (source[start - 1] == u'\n' || source[start - 1] == u'\r')) return item;
    if (!isFirst) return u'\n' + item;
    // The last sign before the item, blanks skipped (not a trimmed copy of all that precedes).
    qsizetype at = start;
    while (at > 0 && source[at - 1].isSpace()) --at;
    if (at == 0) return item;
    const QChar last = source[at - 1];
    if (last == u'.' || last == u'!' || last == u'?') return u'\n' + item;
    return QStringLiteral(":\n") + item;
}

SmartCleanupProcessorResult SmartCleanupListRenderer::render(const QList<SmartCleanupListSequence>& sequences, const QString& text) const {
    const QString& source = text;
    QList<SmartCleanupListCandidate> items;
    QSet<qsizetype> firstItems;
    for (const SmartCleanupListSequence& sequence : sequences) {
        if (sequence.candidates.isEmpty()) continue;
        firstItems.insert(sequence.candidates.first().location);
        items.append(sequence.candidates);
    }

    // The edits, last first; the text is put together once at the end, as replacing each in
    // place would move the rest of a long dictation once per item.
    struct Edit {
        qsizetype start, end;
        QString replacement;
    };
    std::vector<Edit> edits;
    QList<SmartCleanupTrace> trace;
    // The start of the range replaced for the item after the current one: a range never
    // reaches into it, even when nothing but blanks and a comma separates the last marker of
    // one list from the first of the next.
    qsizetype limit = source.size();
    // From the last item back, so each edit leaves the offsets of the earlier ones valid.
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
        const SmartCleanupListCandidate& item = *it;

        // The comma or colon that introduced the item goes with it; a full stop or dash stays.
        qsizetype start = item.location;
        while (start > 0 && isHorizontalWhitespace(source[start - 1])) --start;
        if (start > 0 && isSoftDelimiter(source[start - 1])) {
            --start;
            while (start > 0 && isHorizontalWhitespace(source[start - 1])) --start;
        }

        // "пункт 1, ", "Первый пункт – ", "2. " and "во-вторых, " go whole.
        qsizetype end = item.end();
        while (end < source.size() && isHorizontalWhitespace(source[end])) ++end;
        if (end < source.size() && isMarkerSeparator(source[end])) {
            ++end;
            while (end < source.size() && isHorizontalWhitespace(source[end])) ++end;
        }
        end = std::min(end, limit);

        const bool isFirst = firstItems.remove(item.location);
        edits.push_back({start, end, replacement(item.number, isFirst, start, source)});
        trace.append({SmartCleanupStage::structure,
                      {item.profile.id.rawValue + QStringLiteral(".structure.list.") + rawValue(item.form)},
                      item.profile.id});
        limit = start;
    }
    std::reverse(trace.begin(), trace.end());
    QString edited;
    edited.reserve(source.size() + qsizetype(edits.size()) * 4);
    qsizetype done = 0;
    for (auto it = edits.crbegin(); it != edits.crend(); ++it) {
        edited += QStringView(source).mid(done, it->start - done);
        edited += it->replacement;
        done = it->end;
    }
    edited += QStringView(source).mid(done);
    return {edited, trace};
}

}  // namespace murmelo
