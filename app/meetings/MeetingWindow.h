#pragma once
#include "meetings/MeetingSpeech.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace murmelo {

// One recognised word in channel time.
struct MeetingWord {
    QString text;
    double start = 0;
    double end = 0;
    double prob = -1;  // the lowest of its pieces' probabilities; -1: unknown
    std::optional<QString> lang;
    bool operator==(const MeetingWord&) const = default;
};

// The join between window index and index + 1.
struct MeetingSeam {
    int index = 0;
    double at = 0;
    int matched = 0;
    bool reliable = false;
    bool operator==(const MeetingSeam&) const = default;
};

// A channel's windows joined into one word list.
struct MeetingStitch {
    std::vector<MeetingWord> words;
    std::vector<MeetingSeam> seams;
    int unreliableSeams() const;
    QString text() const;
};

// A channel is recognised in 60 s windows that overlap by 7 s; these pure functions plan
// the windows, read a window's word timings and stitch the windows back together.
namespace MeetingWindow {

inline constexpr double WINDOW = 60.0;
inline constexpr double OVERLAP = 7.0;
inline constexpr double hop = WINDOW - OVERLAP;
inline constexpr int MIN_MATCH = 2;

struct Slot {
    double start = 0;
    double end = 0;
    bool overlapsPrevious = false;
    bool operator==(const Slot&) const = default;
};

struct CommonRun {
    int a = 0;
    int b = 0;
    int size = 0;
    bool operator==(const CommonRun&) const = default;
};

std::vector<Slot> plan(const std::vector<MeetingSpeech::Region>& regions, double window = WINDOW, double hop = MeetingWindow::hop);
std::vector<std::pair<double, double>> plan(double duration, double window = WINDOW, double hop = MeetingWindow::hop);
// The words of a verbose-JSON recognition reply, moved to channel time by offset.
std::vector<MeetingWord> words(const QByteArray& reply, double offset);
// Lower case, "ё" as "е", letters, marks and digits only.
QString key(const MeetingWord& word);
CommonRun longestCommonRun(const QStringList& a, const QStringList& b);
std::pair<std::vector<MeetingWord>, MeetingSeam> splice(const std::vector<MeetingWord>& left, const std::vector<MeetingWord>& right,
                                                        double overlapStart, double overlapEnd, int index);
MeetingStitch stitch(const std::vector<std::vector<MeetingWord>>& chunks, const std::vector<Slot>& windows);

}  // namespace MeetingWindow
}  // namespace murmelo
