#include "dictation/LeadPhrase.h"

namespace murmelo {
namespace {

bool endsPhrase(QChar c) { return c.isSpace() || c == u',' || c == u':' || c == u'.' || c == u'-'; }

bool isRestTrim(QChar c) {
    return c == u' ' || c == u',' || c == u':' || c == u'.' || c == u'-' || c == u'\n' || c == u'\t';
}

}  // namespace

std::optional<QString> afterLeadPhrase(const QString& trimmed, const QString& lower, const QString& phrase) {
    if (!lower.startsWith(phrase)) return std::nullopt;
    const qsizetype at = phrase.size();
    if (at < trimmed.size() && !endsPhrase(trimmed[at])) return std::nullopt;
    qsizetype from = at, to = trimmed.size();
    while (from < to && isRestTrim(trimmed[from])) ++from;
    while (to > from && isRestTrim(trimmed[to - 1])) --to;
    return trimmed.mid(from, to - from);
}

}  // namespace murmelo
