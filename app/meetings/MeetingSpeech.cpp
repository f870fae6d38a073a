#include "meetings/MeetingSpeech.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

namespace murmelo::MeetingSpeech {
namespace {

constexpr int FRAME_SAMPLES = RATE * FRAME_MS / 1000;
constexpr double FRAME_SECONDS = FRAME_MS / 1000.0;

}  // namespace

std::vector<double> levels(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // Mapped, not copied: an hour is 115 MB.
    const qint64 size = f.size();
    if (size <= HEADER) return {};
    const uchar* data = f.map(0, size);
    QByteArray read;
    if (!data) {
        read = f.readAll();
        if (read.size() != size) return {};
        data = reinterpret_cast<const uchar*>(read.constData());
    }
    const qint64 frames = (size - HEADER) / 2 / FRAME_SAMPLES;
    std::vector<double> out;
    out.reserve(size_t(frames));
    const uchar* p = data + HEADER;
    for (qint64 i = 0; i < frames; ++i) {
        double sum = 0;
        for (int j = 0; j < FRAME_SAMPLES; ++j, p += 2) {
            const double s = qFromLittleEndian<qint16>(p);
            sum += s * s;
        }
        out.push_back(std::sqrt(sum / FRAME_SAMPLES) / 32768.0);
    }
    return out;
}

double loudShare(const std::vector<double>& levels, double thresholdDB) {
    if (levels.empty()) return 0;
    const double threshold = std::pow(10.0, thresholdDB / 20.0);
    qint64 loud = 0;
    for (double l : levels)
        if (l > threshold) ++loud;
    return double(loud) / double(levels.size());
}

std::vector<Region> regions(const std::vector<double>& levels, double thresholdDB, double joinGap, double pad) {
    if (levels.empty()) return {};
    const double threshold = std::pow(10.0, thresholdDB / 20.0);
    const qint64 maxGap = qint64(joinGap / FRAME_SECONDS);
    const double total = double(levels.size()) * FRAME_SECONDS;
    std::vector<Region> raw;
    qint64 open = -1;
    qint64 lastLoud = -1;
    qint64 quiet = 0;
    for (qint64 i = 0; i < qint64(levels.size()); ++i) {
        if (levels[size_t(i)] > threshold) {
            if (open < 0) open = i;
            lastLoud = i;
            quiet = 0;
        } else if (open >= 0 && ++quiet > maxGap) {
            // The end is the start of the last loud frame.
            raw.push_back({double(open) * FRAME_SECONDS, double(lastLoud) * FRAME_SECONDS});
            open = -1;
        }
    }
    if (open >= 0) raw.push_back({double(open) * FRAME_SECONDS, total});
    std::vector<Region> out;
    for (const Region& r : raw) {
        const double s = std::max(r.start - pad, 0.0);
        const double e = std::min(r.end + pad, total);
        if (!out.empty() && s <= out.back().end)
            out.back().end = std::max(e, out.back().end);
        else
            out.push_back({s, e});
    }
    return out;
}

}  // namespace murmelo::MeetingSpeech
