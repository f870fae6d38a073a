#include "stats/TypingStats.h"

#include "base/Log.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyBenefitFormula.h"
#include "stats/MonthlyStats.h"

#include <QDateTime>
#include <algorithm>
#include <deque>
#include <vector>

namespace murmelo::TypingStats {
namespace {

constexpr size_t SAMPLES_KEPT = 400;
constexpr quint64 BLOCKING_MODIFIERS = 0x940000;  // Control, Command, Fn
constexpr quint64 COMMAND = 0x100000;
constexpr qint64 SPACE = 49;
constexpr qint64 DELETE = 51;
constexpr qint64 FORWARD_DELETE = 117;
// Stamps are nanoseconds of the same monotonic clock as the uptime.
constexpr double SECONDS_PER_TICK = 1e-9;

struct State {
    std::deque<double> gaps, afterSpace, delays;
    QDateTime lastReport;  // invalid: never
    std::optional<double> lastKeyAt;
    bool lastWasSpace = false;
    std::optional<double> lastMonthlyTextKeyAt;
    std::optional<double> lastMonthlyEditingAt;
    std::optional<double> lastMonthlyBenefitAt;
    qint64 monthlyBurstTypedBalance = 0;
    qint64 monthlyBenefitTypedBalance = 0;
};

State& state() {
    static State s;
    return s;
}

bool isTextKey(qint64 k) {
    return (k >= 0 && k <= 9) || (k >= 11 && k <= 35) || (k >= 37 && k <= 47) || k == 49 || k == 50 || k == 65 ||
           k == 67 || k == 69 || k == 75 || k == 78 || (k >= 81 && k <= 89) || k == 91 || k == 92;
}

bool isEditingKey(qint64 k) {
    switch (k) {
    case 36: case 48: case 51: case 76: case 115: case 116: case 117: case 119: case 121:
    case 123: case 124: case 125: case 126:
        return true;
    default:
        return false;
    }
}

bool isCommandEditingKey(qint64 k) { return k == 0 || k == 6 || k == 7 || k == 8 || k == 9; }

void push(std::deque<double>& list, double value) {
    list.push_back(value);
    while (list.size() > SAMPLES_KEPT) list.pop_front();
}

std::optional<double> pct(const std::deque<double>& list, double p) {
    if (list.empty()) return std::nullopt;
    std::vector<double> sorted(list.begin(), list.end());
    std::sort(sorted.begin(), sorted.end());
    const qint64 last = qint64(sorted.size()) - 1;
    const qint64 index = std::clamp<qint64>(qint64(double(last) * p), 0, last);
    return sorted[size_t(index)];
}

QString milliseconds(std::optional<double> seconds) {
    return seconds ? QString::asprintf("%.0f", *seconds * 1000.0) : QStringLiteral("?");
}

void reportIfDue() {
    State& s = state();
    if (s.gaps.size() < 50) return;
    const QDateTime now = Clock::shared().nowUtc();
    if (s.lastReport.isValid() && s.lastReport.msecsTo(now) < 300000) return;
    s.lastReport = now;
    logLine(QStringLiteral("печать/ритм: символы ") + milliseconds(pct(s.gaps, 0.5)) + QStringLiteral("/") +
            milliseconds(pct(s.gaps, 0.9)) + QStringLiteral(" мс (медиана/90%), ") + QStringLiteral("после пробела ") +
            milliseconds(pct(s.afterSpace, 0.5)) + QStringLiteral("/") + milliseconds(pct(s.afterSpace, 0.9)) +
            QStringLiteral(" мс, ") + QStringLiteral("наша задержка на клавише ") + milliseconds(pct(s.delays, 0.5)) +
            QStringLiteral("/") + milliseconds(pct(s.delays, 0.99)) + QStringLiteral(" мс ") + QStringLiteral("(") +
            QString::number(s.gaps.size()) + QStringLiteral(" символов)"));
}

void noteTextKey(State& s, const MonthlyEvent& event, double now) {
    if (s.lastMonthlyTextKeyAt) MonthlyStats::noteTypingGap(now - *s.lastMonthlyTextKeyAt);
    s.lastMonthlyTextKeyAt = now;

    std::optional<double> since;
    if (s.lastMonthlyEditingAt) since = now - *s.lastMonthlyEditingAt;
    const bool continuing = monthlySessionDecision(event, since).continuesBurst;
    double active = 0.0;
    if (continuing) {
        s.monthlyBurstTypedBalance += event.characters;
        active = *since;
    } else {
        s.monthlyBurstTypedBalance = event.characters;
    }
    MonthlyStats::noteTypingWork(event.characters, 1, 0, active, !continuing);
    s.lastMonthlyEditingAt = now;

    s.monthlyBenefitTypedBalance += event.characters;
    const bool startsSample = !s.lastMonthlyBenefitAt;
    const double pause = startsSample ? 0.0 : MonthlyBenefitFormula::cappedPause(now - *s.lastMonthlyBenefitAt);
    MonthlyStats::noteBenefitTypingWork(event.characters, 1, 0, pause, startsSample);
    s.lastMonthlyBenefitAt = now;
}

void noteOtherKey(State& s, const MonthlyEvent& event, double now) {
    std::optional<double> since;
    if (s.lastMonthlyEditingAt) since = now - *s.lastMonthlyEditingAt;
    if (since && monthlySessionDecision(event, since).shouldRecord) {
        // A correction counts only against characters typed earlier in the same burst.
        const qint64 k = std::min(event.correctionActions, s.monthlyBurstTypedBalance);
        s.monthlyBurstTypedBalance -= k;
        MonthlyStats::noteTypingWork(0, 1, k, *since, false);
        s.lastMonthlyEditingAt = now;
    } else {
        s.lastMonthlyEditingAt.reset();
        s.monthlyBurstTypedBalance = 0;
        if (!event.isEditing) {
            s.lastMonthlyTextKeyAt.reset();
            s.lastMonthlyBenefitAt.reset();
            s.monthlyBenefitTypedBalance = 0;
            return;
        }
    }
    if (!event.isEditing) return;
    // An editing key keeps the benefit sample going even after a long pause.
    const double u = s.lastMonthlyBenefitAt ? now - *s.lastMonthlyBenefitAt : 0.0;
    if (s.lastMonthlyBenefitAt && u > 0) {
        const qint64 k = std::min(event.correctionActions, s.monthlyBenefitTypedBalance);
        s.monthlyBenefitTypedBalance -= k;
        MonthlyStats::noteBenefitTypingWork(0, 1, k, MonthlyBenefitFormula::cappedPause(u), false);
        s.lastMonthlyBenefitAt = now;
    } else {
        s.lastMonthlyBenefitAt.reset();
        s.monthlyBenefitTypedBalance = 0;
    }
}

}  // namespace

MonthlyEvent classifyMonthlyEvent(qint64 keyCode, quint64 flags) {
    if (countsForMonthlySpeed(keyCode, flags)) return {1, true, 0};
    if (isEditingKey(keyCode))
        return {0, true, (keyCode == DELETE || keyCode == FORWARD_DELETE) ? 1 : 0};
    if ((flags & COMMAND) && isCommandEditingKey(keyCode)) return {0, true, (keyCode == 6 || keyCode == 7) ? 1 : 0};
    return {0, false, 0};
}

bool countsForMonthlySpeed(qint64 keyCode, quint64 flags) {
    return isTextKey(keyCode) && (flags & BLOCKING_MODIFIERS) == 0;
}

MonthlySessionDecision monthlySessionDecision(const MonthlyEvent& event,
                                              std::optional<double> secondsSinceRecordedEvent) {
    const bool text = event.characters >= 1;
    if (!secondsSinceRecordedEvent || !(*secondsSinceRecordedEvent > 0)) return {text, false};
    if (*secondsSinceRecordedEvent <= MONTHLY_EDITING_BURST_GAP) {
        const bool record = text || event.isEditing;
        return {record, record};
    }
    return {text, false};
}

void note(quint64 stamp, qint64 keyCode, quint64 flags) {
    State& s = state();
    const double now = Clock::shared().uptime();
    const MonthlyEvent event = classifyMonthlyEvent(keyCode, flags);

    const double delay = now - double(stamp) * SECONDS_PER_TICK;
    if (delay >= 0 && delay < 0.5) push(s.delays, delay);

    if (s.lastKeyAt) {
        const double gap = now - *s.lastKeyAt;
        if (gap > 0 && gap < 5.0) push(s.lastWasSpace ? s.afterSpace : s.gaps, gap);
    }

    if (event.characters >= 1) {
        noteTextKey(s, event, now);
    } else {
        noteOtherKey(s, event, now);
    }

    s.lastKeyAt = now;
    s.lastWasSpace = keyCode == SPACE;
    reportIfDue();
}

std::optional<double> suggestedQuiet() {
    const State& s = state();
    if (s.afterSpace.size() < 30) return std::nullopt;
    return std::clamp(*pct(s.afterSpace, 0.9), 0.2, 0.8);
}

Snapshot snapshot() {
    const State& s = state();
    return {pct(s.gaps, 0.5),       pct(s.gaps, 0.9),   pct(s.afterSpace, 0.5), pct(s.afterSpace, 0.9),
            pct(s.delays, 0.5),     pct(s.delays, 0.99), int(s.gaps.size())};
}

void resetForTesting() { state() = State{}; }

}  // namespace murmelo::TypingStats
