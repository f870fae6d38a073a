#pragma once
#include "stats/MonthlyStatsMonth.h"
#include "stats/MonthlyStatsSnapshot.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace murmelo {

// The user's usage statistics: one month record per calendar month, held in memory and
// mirrored to one JSON file. Every counted event changes the record of its month together
// with that month's saved-time ledger. The file is written 2.0 s after the first change that
// follows a write, on one serial writer shared by every store, so a write never overtakes
// an earlier one. Every operation may be called from any thread.
//
// The file is the user's history: one that exists but cannot be read is kept as a
// timestamped copy ("monthly-stats.json.bad-<date>-<time>") before anything replaces it, and nothing is written over it while
// that copy cannot be made.
class MonthlyStatsStore {
public:
    static constexpr qint64 VERSION = 6;
    static constexpr double SAVE_DELAY = 2.0;

    // Loads the file. `calendar` gives month keys, day numbers and month starts.
    explicit MonthlyStatsStore(QString path, QTimeZone calendar = QTimeZone::systemTimeZone());
    // A write still due is dropped; one already on the writer finishes.
    ~MonthlyStatsStore();
    MonthlyStatsStore(const MonthlyStatsStore&) = delete;
    MonthlyStatsStore& operator=(const MonthlyStatsStore&) = delete;

    QString url() const;
    QTimeZone calendar() const;

    // Every `at` is the event's date; an invalid date means now.
    // Starts tracking: sets the first tracked month when there is none.
    void activate(const QDateTime& at = {});
    // The three typing operations answer whether they asked for a write.
    bool noteTypingGap(double seconds, const QDateTime& at = {});
    bool noteTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions, double activeSeconds,
                        bool startsBurst, const QDateTime& at = {});
    bool noteBenefitTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions,
                               double activeSeconds, bool startsSample, const QDateTime& at = {});
    void noteDictation(qint64 characters, qint64 words, double audioSeconds, std::optional<double> speechWorkSeconds,
                       double processingSeconds, const QDateTime& at = {});
    void noteCorrections(qint64 punctuation, qint64 letterCase, qint64 typos, const QDateTime& at = {});
    void noteLayoutCorrection(const QDateTime& at = {});
    void undoLayoutCorrection(const QDateTime& at = {});
    void noteQuickAction(const QDateTime& at = {});
    void noteQuickReply(const QDateTime& at = {});
    void noteMeeting(double seconds, const QDateTime& at = {});

    // The month of `month` with every tracked month up to the month of `now`; one state of
    // the statistics, changes nothing.
    MonthlyStatsSnapshot snapshot(const QDateTime& month = {}, const QDateTime& now = {}) const;
    // Erases everything and starts tracking again at the month of `restartAt`; the file is
    // removed and comes back with the empty statistics after the save delay.
    void deleteAll(const QDateTime& restartAt = {});
    // Writes the file now, on the writer, and waits for it (at most WRITE_WAIT_MS).
    void flushNow();

    std::optional<QString> firstTrackedMonth() const;
    // Where an unreadable file found at load was kept; empty when none was or the copy
    // could not be made yet.
    QString keptUnreadablePath() const;

    // Month keys ("2025-03"), their dates, month starts and day numbers in the calendar.
    QString monthKey(const QDateTime& date) const;
    std::optional<QDateTime> date(const QString& monthKey) const;
    QDateTime start(const QDateTime& date) const;
    qint64 dayNumber(const QDateTime& date) const;

    // Waits until every write handed to the writer has finished; false when that took
    // longer than `msecs`. Tests wait on it instead of sleeping.
    static bool waitForWrites(int msecs);
    static constexpr int WRITE_WAIT_MS = 10000;

    struct State;

private:
    // The month key and day number of an instant in the calendar.
    std::pair<QString, qint64> calendarDay(const QDateTime& when) const;
    template <class Change>
    bool note(const QDateTime& when, Change change);
    void scheduleWrite();

    std::shared_ptr<State> s_;
};

}  // namespace murmelo
