#include "meetings/MeetingWindow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace murmelo {

int MeetingStitch::unreliableSeams() const {
    int n = 0;
    for (const auto& s : seams)
        if (!s.reliable) ++n;
    return n;
}

QString MeetingStitch::text() const {
    QStringList parts;
    for (const auto& w : words) parts << w.text;
    return parts.join(QLatin1Char(' '));
}

namespace MeetingWindow {

std::vector<Slot> plan(const std::vector<MeetingSpeech::Region>& regions, double window, double hop) {
    std::vector<Slot> windows;
    for (const auto& r : regions) {
        if (!(r.duration() > 0)) continue;
        if (r.duration() <= window) {
            windows.push_back({r.start, r.end, false});
            continue;
        }
        double start = r.start;
        double end = std::min(r.end, start + window);
        windows.push_back({start, end, false});
        // Windows stay inside their region; regions are never spliced to each other.
        while (end < r.end && start + hop < r.end) {
            start += hop;
            end = std::min(r.end, start + window);
            windows.push_back({start, end, true});
        }
    }
    return windows;
}

std::vector<std::pair<double, double>> plan(double duration, double window, double hop) {
    std::vector<std::pair<double, double>> out;
    if (!(duration > 0) || !(window > 0) || !(hop > 0)) return out;
    for (qint64 k = 0;; ++k) {
        const double start = double(k) * hop;
        out.emplace_back(start, std::min(duration, start + window));
        if (!(out.back().second < duration && double(k + 1) * hop < duration)) break;
    }
    return out;
}

std::vector<MeetingWord> words(const QByteArray& reply, double offset) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return {};
    const QJsonObject top = doc.object();
    const QJsonValue segments = top.value(QStringLiteral("segments"));
    if (!segments.isArray()) return {};
    for (const auto& s : segments.toArray())
        if (!s.isObject()) return {};
    std::optional<QString> lang;
    if (top.value(QStringLiteral("language")).isString()) lang = top.value(QStringLiteral("language")).toString();
    std::vector<MeetingWord> out;
    for (const auto& s : segments.toArray()) {
        const QJsonValue pieces = s.toObject().value(QStringLiteral("words"));
        if (!pieces.isArray()) continue;
        bool allObjects = true;
        for (const auto& p : pieces.toArray()) allObjects = allObjects && p.isObject();
        if (!allObjects) continue;
        for (const auto& p : pieces.toArray()) {
            const QJsonObject w = p.toObject();
            const QString raw = w.value(QStringLiteral("word")).toString();
            const QString text = raw.trimmed();
            if (text.isEmpty()) continue;
            // The recogniser marks a word's beginning with a leading space.
            const bool startsWord = raw.isEmpty() || raw.front().isSpace();
            const double start = w.value(QStringLiteral("start")).toDouble(0) + offset;
            const double end = w.value(QStringLiteral("end")).toDouble(0) + offset;
            const QJsonValue pv = w.value(QStringLiteral("probability"));
            const double prob = pv.isDouble() ? pv.toDouble() : -1;
            if (startsWord || out.empty()) {
                out.push_back({text, start, end, prob, lang});
                continue;
            }
            MeetingWord& last = out.back();
            last.text += text;
            last.end = end;
            if (last.prob >= 0 && prob >= 0) last.prob = std::min(last.prob, prob);
        }
    }
    return out;
}

QString key(const MeetingWord& word) {
    const QString lower = word.text.toLower().replace(QStringLiteral("ё"), QStringLiteral("е"));
    QString out;
    for (const uint c : lower.toUcs4()) {
        if (!QChar::isLetterOrNumber(c) && !QChar::isMark(c)) continue;
        out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
    }
    return out;
}

CommonRun longestCommonRun(const QStringList& a, const QStringList& b) {
    if (a.isEmpty() || b.isEmpty()) return {};
    std::vector<int> previous(size_t(b.size()) + 1, 0), current(size_t(b.size()) + 1, 0);
    CommonRun best;
    for (int i = 1; i <= a.size(); ++i) {
        for (int j = 0; j < b.size(); ++j) {
            const int m = a[i - 1] == b[j] ? previous[size_t(j)] + 1 : 0;
            current[size_t(j) + 1] = m;
            if (m > best.size) best = {i - m, j + 1 - m, m};
        }
        std::swap(previous, current);
    }
    return best;
}

std::pair<std::vector<MeetingWord>, MeetingSeam> splice(const std::vector<MeetingWord>& left, const std::vector<MeetingWord>& right,
                                                        double overlapStart, double overlapEnd, int index) {
    if (left.empty()) return {right, {index, overlapStart, 0, false}};
    if (right.empty()) return {left, {index, overlapEnd, 0, false}};
    int k = 0;
    while (k < int(left.size()) && left[size_t(k)].end < overlapStart) ++k;
    int l = 0;
    while (l < int(right.size()) && !(right[size_t(l)].start > overlapEnd)) ++l;
    QStringList leftKeys, rightKeys;
    for (int i = k; i < int(left.size()); ++i) leftKeys << key(left[size_t(i)]);
    for (int i = 0; i < l; ++i) rightKeys << key(right[size_t(i)]);
    if (!leftKeys.isEmpty() && !rightKeys.isEmpty()) {
        const CommonRun run = longestCommonRun(leftKeys, rightKeys);
        if (run.size >= MIN_MATCH) {
            // The right window's copy of the common run is kept: it was heard with more context.
            std::vector<MeetingWord> out(left.begin(), left.begin() + k + run.a);
            out.insert(out.end(), right.begin() + run.b, right.end());
            const double at = run.b < int(right.size()) ? right[size_t(run.b)].start : overlapEnd;
            return {out, {index, at, run.size, true}};
        }
    }
    const double mid = (overlapStart + overlapEnd) / 2;
    std::vector<MeetingWord> out;
    if (k == int(left.size()) || l == 0) {
        // One side heard nothing in the overlap (its window failed, say): there is nothing to
        // double, and cutting at the middle would only lose the other side's words.
        out = left;
        out.insert(out.end(), right.begin(), right.end());
        return {out, {index, mid, 0, false}};
    }
    for (const auto& w : left)
        if (w.start < mid) out.push_back(w);
    for (const auto& w : right)
        if (w.start >= mid) out.push_back(w);
    return {out, {index, mid, 0, false}};
}

MeetingStitch stitch(const std::vector<std::vector<MeetingWord>>& chunks, const std::vector<Slot>& windows) {
    MeetingStitch result;
    if (chunks.empty()) return result;
    result.words = chunks[0];
    for (size_t i = 0; i + 1 < chunks.size(); ++i) {
        if (i + 1 >= windows.size()) continue;
        if (windows[i + 1].overlapsPrevious) {
            auto [joined, seam] = splice(result.words, chunks[i + 1], windows[i + 1].start, windows[i].end, int(i));
            result.words = std::move(joined);
            result.seams.push_back(seam);
        } else {
            result.words.insert(result.words.end(), chunks[i + 1].begin(), chunks[i + 1].end());
        }
    }
    return result;
}

}  // namespace MeetingWindow
}  // namespace murmelo
