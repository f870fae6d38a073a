#pragma once
#include "stats/MonthlyStatsSnapshot.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

namespace murmelo {

class MonthlyStatsStore;

// Tells the statistics views to refresh: `didChange` is emitted on the main thread, once per
// counting call that changed something, after the store has the change.
class MonthlyStatsNotifier : public QObject {
    Q_OBJECT
public:
    static MonthlyStatsNotifier& shared();
signals:
    void didChange();
};

// The one entry point through which the program records usage and reads statistics. Every
// recording call checks the user's switch itself, so callers never do. Callable from any
// thread.
namespace MonthlyStats {

inline const char* const enabledKey = "monthlyStatsEnabled";
// The name of the change notification.
inline const char* const didChangeNotification = "OndrixMonthlyStatsDidChange";

// The user's statistics file: "monthly-stats.json" in the application's data folder when
// the process runs as the application, else "ondrix-monthly-stats.json" in the temporary
// folder, so that tools and tests never touch the user's history.
QString storageURL();
// Created on first use (reading the file) and kept for the life of the process.
MonthlyStatsStore& store();

// On unless the setting holds a real Boolean false.
bool enabled();
// Turning statistics on starts tracking at the current month unless it began earlier.
void setEnabled(bool on);

void activate();
MonthlyStatsSnapshot snapshot(const QDateTime& month = {});

void noteTypingGap(double seconds);
void noteTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions, double activeSeconds,
                    bool startsBurst);
void noteBenefitTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions, double activeSeconds,
                           bool startsSample);
// A delivered dictation: its characters (grapheme clusters) and words are counted from the text.
void noteDictation(const QString& text, double audioSeconds, std::optional<double> speechWorkSeconds,
                   double processingSeconds = 0.0);
void noteTextCorrection(const QString& before, const QString& after);
void noteLayoutCorrection();
void undoLayoutCorrection();
void noteQuickAction();
void noteQuickReply();
// Counted in the month of `at` (a meeting belongs to the month it began).
void noteMeeting(double seconds, const QDateTime& at);
void deleteAll();

// Words of a dictation: maximal runs of letters and numbers.
qint64 wordCount(const QString& text);

struct CorrectionCounts {
    qint64 punctuation = 0;
    qint64 letterCase = 0;
    qint64 typos = 0;
    bool operator==(const CorrectionCounts&) const = default;
};
// How many punctuation, letter-case and spelling corrections turn `before` into `after`:
// the cheapest alignment of their word and mark tokens, ties broken the same way every time.
CorrectionCounts correctionSummary(const QString& before, const QString& after);

// A letter or a number: the first scalar of the character is Alphabetic or has a numeric type.
bool isWordCharacter(const QString& character);

// Tests: waits for writes and forgets the store, so that the next use reads the file of the
// current (temporary) folders.
void resetForTesting();

}  // namespace MonthlyStats
}  // namespace murmelo
