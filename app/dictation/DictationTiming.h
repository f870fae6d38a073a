#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <vector>

namespace murmelo {

// Where the time of one dictation goes, from the hotkey's release to the delivered text:
// named stages and one timing line in the log at the end. Also keeps the release time
// that the stop of a recording uses to cut late audio. Callable from any thread.
class DictationTiming {
public:
    struct Stage {
        QString name;
        qint64 ms = 0;
        bool operator==(const Stage&) const = default;
    };

    static DictationTiming& shared();

    // The hotkey was released (the tap, or the key-release watchdog).
    void noteKeyUp();
    // Seconds from start to the last noted release, when that is later than start.
    std::optional<double> keyUpSince(const QDateTime& start) const;
    // Starts a measurement at the noted release (or now); discards an unfinished one.
    // Answers the measurement's number, for abandonIfOpen.
    quint64 begin();
    void mark(const QString& name);
    void note(const QString& text);
    // Closes the last stage and writes the timing line; ends the dictation's activity.
    void finish(const QString& name);
    // Drops the measurement without a line; ends the dictation's activity.
    void abandon();
    // Abandons measurement number `id` if it is still the open one; true when it was.
    // For the end of a dictation whose pipeline left its timing open.
    bool abandonIfOpen(quint64 id);

    bool isMeasuring() const;
    std::vector<Stage> stages() const;
    void resetForTesting();

private:
    static qint64 msBetween(const QDateTime& from, const QDateTime& to);

    mutable std::mutex lock_;
    std::optional<QDateTime> keyUpAt_;
    std::optional<QDateTime> lastKeyUpAt_;
    std::optional<QDateTime> startedAt_;
    std::optional<QDateTime> lastAt_;
    std::vector<Stage> stages_;
    QStringList notes_;
    quint64 measurement_ = 0;
};

}  // namespace murmelo
