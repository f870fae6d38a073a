#pragma once
#include <QString>
#include <vector>

namespace murmelo {

// Where people speak in one meeting channel: a 100 ms level envelope of its WAV file, the
// share of loud frames and the padded, merged speech regions. Pure; any thread.
namespace MeetingSpeech {

inline constexpr int FRAME_MS = 100;
inline constexpr int RATE = 16000;
inline constexpr int HEADER = 44;
inline constexpr double THRESHOLD_DB = -45.0;
inline constexpr double JOIN_GAP = 2.0;
inline constexpr double PAD = 0.4;
inline constexpr double DENSE_SHARE = 0.7;

struct Region {
    double start = 0;
    double end = 0;
    double duration() const { return end - start; }
    bool operator==(const Region&) const = default;
};

// One RMS level (full scale 1.0) per whole frame after the 44-byte header; empty when the
// file cannot be read or holds no whole frame.
std::vector<double> levels(const QString& path);
double loudShare(const std::vector<double>& levels, double thresholdDB = THRESHOLD_DB);
std::vector<Region> regions(const std::vector<double>& levels, double thresholdDB = THRESHOLD_DB, double joinGap = JOIN_GAP,
                            double pad = PAD);

}  // namespace MeetingSpeech
}  // namespace murmelo
