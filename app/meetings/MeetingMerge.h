#pragma once
#include "meetings/MeetingWindow.h"
#include "vocabulary/CorrectorManager.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace murmelo {

// Merging a meeting's two recognised channels into speaker lines: loudspeaker bleed in the
// microphone is dropped, the user's short remarks inside a far-side turn become asides, and
// each finished line goes through the punctuation pass. Runs on the caller's thread.
namespace MeetingTranscriber {

inline constexpr double GAP = 1.5;
inline constexpr int INTERJECTION_MAX_WORDS = 3;
inline constexpr double INTERJECTION_SIMILARITY = 0.6;
inline constexpr double MARK_ECHO_WINDOW = 3.0;
inline constexpr double ECHO_WINDOW = 1.5;
inline constexpr int MIN_ECHO_RUN = 3;

// One speaker turn of the transcript.
struct Line {
    double start = 0;
    QString speaker;
    QString text;
    bool operator==(const Line&) const = default;
};

// "meetingDropBleed": a stored Boolean, else on.
bool dropBleedEnabled();
// 1 - Levenshtein distance over characters / the longer length; equal strings 1, one empty 0.
double similar(const QString& a, const QString& b);
bool looksLikeEcho(const MeetingWord& word, const std::vector<MeetingWord>& near, double window, double similarity);
std::vector<MeetingWord> dropSpeakerBleed(const std::vector<MeetingWord>& mic, const std::vector<MeetingWord>& system);
// themLabels: one label per system word by index (diarisation), else themLabel for all.
std::vector<Line> merge(const std::vector<MeetingWord>& mic, const std::vector<MeetingWord>& system, const QString& meLabel,
                        const QString& themLabel, const std::optional<QStringList>& themLabels = std::nullopt,
                        quint16 correctorPort = CORRECTOR_PORT);

}  // namespace MeetingTranscriber
}  // namespace murmelo
