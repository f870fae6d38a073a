#pragma once
#include <QtGlobal>
#include <optional>

// The rhythm of the user's own key presses: short rolling samples of pauses (for a periodic
// log line and for polish's quiet time), and the monthly typing measures of the statistics
// (typed characters, editing events in bursts, correction actions, active typing time).
// Fed by the event tap with every physical key down, on the main thread; the program's own
// keys never arrive here. All state belongs to the main thread.
namespace murmelo::TypingStats {

// The longest pause that keeps an editing burst going.
inline constexpr double MONTHLY_EDITING_BURST_GAP = 1.0;

struct MonthlyEvent {
    qint64 characters = 0;  // 1 for a text key
    bool isEditing = false;
    qint64 correctionActions = 0;  // 0 or 1
    bool operator==(const MonthlyEvent&) const = default;
};

struct MonthlySessionDecision {
    bool shouldRecord = false;
    bool continuesBurst = false;
    bool operator==(const MonthlySessionDecision&) const = default;
};

struct Snapshot {
    std::optional<double> gapMed, gapP90, spaceMed, spaceP90, delayMed, delayP99;
    int samples = 0;
};

// One physical key down. `stamp` is the event's time: nanoseconds of the monotonic clock.
void note(quint64 stamp, qint64 keyCode, quint64 flags);

MonthlyEvent classifyMonthlyEvent(qint64 keyCode, quint64 flags);
// A text key pressed without Control, Command or Fn.
bool countsForMonthlySpeed(qint64 keyCode, quint64 flags);
// The burst rule; `secondsSinceRecordedEvent` is absent when no key of a burst was recorded.
MonthlySessionDecision monthlySessionDecision(const MonthlyEvent& event,
                                              std::optional<double> secondsSinceRecordedEvent);

// How long polish waits after a space: the 90th percentile of pauses after a space, within
// 0.2 … 0.8 s, once 30 of them are known.
std::optional<double> suggestedQuiet();
Snapshot snapshot();

void resetForTesting();

}  // namespace murmelo::TypingStats
