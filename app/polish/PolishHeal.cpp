#include "polish/PolishHeal.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/TextWriteTrace.h"
#include "layout/LayoutOutput.h"
#include "polish/PolishTyping.h"

namespace murmelo {
namespace {

// UTF-16 lengths of the common prefix and suffix of two texts, counted in whole characters,
// the suffix never reaching into the prefix of either.
std::pair<qsizetype, qsizetype> commonEnds(const QString& a, const QString& b) {
    const QStringList ca = graphemes(a), cb = graphemes(b);
    const qsizetype shorter = std::min(ca.size(), cb.size());
    qsizetype n = 0, prefix = 0;
    while (n < shorter && ca[n] == cb[n]) prefix += ca[n++].size();
    qsizetype o = 0, suffix = 0;
    while (o < shorter - n && ca[ca.size() - 1 - o] == cb[cb.size() - 1 - o]) suffix += ca[ca.size() - 1 - o++].size();
    return {prefix, suffix};
}

}  // namespace

std::optional<HealPlanner::Plan> TypingHealPlanner::plan(const QString& have, const QString& want, const QString& gap,
                                                         bool trustGap) {
    const std::optional<PolishTyping::Plan> p = PolishTyping::plan(have, want, gap, trustGap);
    if (!p) return std::nullopt;
    return Plan{p->backspaces, p->insert, p->why};
}

bool polishHeal(LayoutOutput& output, HealPlanner& planner, const AXElementPtr& el, const QString& before,
                const QString& tag) {
    const std::optional<QString> value = AXText::value(el);
    if (!value) {
        logLine(tag + QStringLiteral(": не легла и поле не читается — вернуть как было не могу"));
        return false;
    }
    if (*value == before) {
        logLine(tag + QStringLiteral(": не легла, но текст цел — правки просто нет"));
        return true;
    }
    const auto [p, s] = commonEnds(*value, before);
    const qsizetype l = value->size() - p - s;
    const qsizetype m = before.size() - p - s;

    // Keys act at the caret: anywhere but the end of the damage they would break other text.
    const std::optional<AXRange> selection = AXText::selectedRange(el);
    if (!selection || selection->length != 0 || selection->location != p + l) {
        logLine(tag + QStringLiteral(": не легла, но каретка не на месте поломки — не трогаю"));
        return false;
    }

    const std::optional<HealPlanner::Plan> plan = planner.plan(value->mid(p, l), before.mid(p, m), QString(), false);
    if (!plan || plan->backspaces > PolishTyping::MAX_KEYS_MANUAL) {
        logLine(tag + QStringLiteral(": не легла, и вернуть одним пакетом не выходит — оставляю как есть"));
        return false;
    }
    output.sendBackspaces(int(plan->backspaces), TextWriteOrigin::polishRollback);
    if (!plan->insert.isEmpty()) output.sendUnicode(plan->insert, TextWriteOrigin::polishRollback);
    logLine(tag + QStringLiteral(": правка легла криво — вернул как было (") + plan->why + ')');
    return true;
}

}  // namespace murmelo
