#include "dictation/SpeechMarks.h"

#include "base/Regex.h"
#include "dictation/WhisperReply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <utility>
#include <vector>

namespace murmelo {
namespace {

std::optional<QJsonObject> object(const std::optional<QByteArray>& reply) {
    if (!reply) return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(*reply);
    if (!doc.isObject()) return std::nullopt;
    return doc.object();
}

// "segments" when it is an array of objects.
std::optional<QJsonArray> segments(const QJsonObject& o) {
    const QJsonValue v = o.value(QStringLiteral("segments"));
    if (!v.isArray()) return std::nullopt;
    const QJsonArray a = v.toArray();
    for (const QJsonValue& s : a)
        if (!s.isObject()) return std::nullopt;
    return a;
}

// A pause between stretches of speech is credited up to five seconds, as the statistics
// credit it.
double cappedPause(double gap) { return std::min(std::max(gap, 0.0), 5.0); }

bool isFillerWord(const QString& word) {
    QString w = word.toLower();
    w = Regex::compile(QStringLiteral("[^\\p{L}]")).replace(w, QString());
    if (w.isEmpty()) return true;  // nothing left: not speech
    return Regex::compile(QStringLiteral("^(?:э+|эм+|мэ+|м+|uh+|um+|erm+|hm+|hmm+|mm+)$")).contains(w);
}

bool segmentHasSpeech(const QString& text) {
    const QString cleaned = cleanText(text);
    if (cleaned.isEmpty() || isFiller(cleaned)) return false;
    QString run;
    auto speech = [&] { return !run.isEmpty() && !isFillerWord(run); };
    for (const QChar c : cleaned) {
        if (c.isLetter() || c.isMark() || c.isSurrogate()) {
            run += c;
            continue;
        }
        if (speech()) return true;
        run.clear();
    }
    return speech();
}

}  // namespace

QString SpeechMarks::line() const {
    return QString::asprintf("признаки: langp=%.2f увер.слова=%.2f/%.2f", langp, wordMean, wordLow);
}

std::optional<SpeechMarks> speechMarks(const std::optional<QByteArray>& reply) {
    const auto o = object(reply);
    if (!o) return std::nullopt;
    const auto segs = segments(*o);
    if (!segs || segs->isEmpty()) return std::nullopt;
    std::vector<double> probabilities;
    for (const QJsonValue& s : *segs) {
        const QJsonValue words = s.toObject().value(QStringLiteral("words"));
        if (!words.isArray()) continue;
        for (const QJsonValue& w : words.toArray()) {
            const QJsonValue p = w.toObject().value(QStringLiteral("probability"));
            if (p.isDouble()) probabilities.push_back(p.toDouble());
        }
    }
    SpeechMarks marks;
    const QJsonValue langp = o->value(QStringLiteral("detected_language_probability"));
    if (langp.isDouble()) marks.langp = langp.toDouble();
    if (!probabilities.empty()) {
        double sum = 0;
        for (double p : probabilities) sum += p;
        marks.wordMean = sum / double(probabilities.size());
        marks.wordLow = *std::min_element(probabilities.begin(), probabilities.end());
    }
    return marks;
}

std::optional<QString> detectedLanguage(const std::optional<QByteArray>& reply) {
    const auto o = object(reply);
    if (!o) return std::nullopt;
    const QJsonValue v = o->value(QStringLiteral("language"));
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

double speechWorkSeconds(const std::optional<QByteArray>& reply, double audioSeconds) {
    const double whole = std::max(audioSeconds, 0.0);
    if (audioSeconds <= 0) return whole;
    const auto o = object(reply);
    if (!o) return whole;
    const auto segs = segments(*o);
    if (!segs) return whole;

    using Interval = std::pair<double, double>;
    std::vector<Interval> segmentIntervals, wordIntervals;
    bool span = false, timing = false;
    for (const QJsonValue& sv : *segs) {
        const QJsonObject s = sv.toObject();
        const QJsonValue start = s.value(QStringLiteral("start")), end = s.value(QStringLiteral("end"));
        const bool timed = start.isDouble() && end.isDouble() && start.toDouble() < end.toDouble();
        if (timed) span = true;
        const QJsonValue noSpeech = s.value(QStringLiteral("no_speech_prob"));
        if (noSpeech.isDouble() && noSpeech.toDouble() > NO_SPEECH_THOLD) continue;
        if (timed && segmentHasSpeech(s.value(QStringLiteral("text")).toString()))
            segmentIntervals.push_back({start.toDouble(), end.toDouble()});
        const QJsonValue words = s.value(QStringLiteral("words"));
        if (!words.isArray()) continue;
        for (const QJsonValue& wv : words.toArray()) {
            const QJsonObject w = wv.toObject();
            const QJsonValue ws = w.value(QStringLiteral("start")), we = w.value(QStringLiteral("end"));
            if (!ws.isDouble() || !we.isDouble() || ws.toDouble() >= we.toDouble()) continue;
            timing = true;
            if (!isFillerWord(w.value(QStringLiteral("word")).toString())) wordIntervals.push_back({ws.toDouble(), we.toDouble()});
        }
    }
    std::vector<Interval> intervals = timing ? wordIntervals : segmentIntervals;
    const bool timed = timing || span;
    if (intervals.empty()) return timed ? 0.0 : whole;

    std::vector<Interval> clamped;
    for (auto [s, e] : intervals) {
        s = std::clamp(s, 0.0, audioSeconds);
        e = std::clamp(e, 0.0, audioSeconds);
        if (e > s) clamped.push_back({s, e});
    }
    if (clamped.empty()) return whole;
    std::stable_sort(clamped.begin(), clamped.end(), [](const Interval& a, const Interval& b) { return a.first < b.first; });
    double total = clamped[0].second - clamped[0].first;
    double reach = clamped[0].second;
    for (size_t i = 1; i < clamped.size(); ++i) {
        const auto [s, e] = clamped[i];
        if (s > reach) {
            total += cappedPause(s - reach) + (e - s);
            reach = e;
        } else {
            total += std::max(e - reach, 0.0);
            reach = std::max(reach, e);
        }
    }
    return std::min(std::max(total, 0.0), audioSeconds);
}

}  // namespace murmelo
