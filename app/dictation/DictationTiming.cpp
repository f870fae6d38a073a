#include "dictation/DictationTiming.h"

#include "base/Log.h"
#include "dictation/DictationActivity.h"
#include "platform/MainQueue.h"

namespace murmelo {

DictationTiming& DictationTiming::shared() {
    static DictationTiming timing;
    return timing;
}

qint64 DictationTiming::msBetween(const QDateTime& from, const QDateTime& to) { return from.msecsTo(to); }

void DictationTiming::noteKeyUp() {
    const QDateTime now = Clock::shared().now();
    std::lock_guard g(lock_);
    keyUpAt_ = now;
    lastKeyUpAt_ = now;
}

std::optional<double> DictationTiming::keyUpSince(const QDateTime& start) const {
    std::lock_guard g(lock_);
    if (!lastKeyUpAt_) return std::nullopt;
    const double seconds = double(start.msecsTo(*lastKeyUpAt_)) / 1000.0;
    if (seconds <= 0) return std::nullopt;
    return seconds;
}

quint64 DictationTiming::begin() {
    const QDateTime now = Clock::shared().now();
    std::lock_guard g(lock_);
    const QDateTime release = keyUpAt_.value_or(now);
    const qint64 queueMs = msBetween(release, now);
    startedAt_ = release;
    lastAt_ = release;
    stages_.clear();
    notes_.clear();
    keyUpAt_.reset();
    if (queueMs > 150)
        notes_ << QStringLiteral("ОЧЕРЕДЬ ГЛАВНОГО ПОТОКА ") + QString::number(queueMs) +
                      QStringLiteral(" мс — всё это время запись ПРОДОЛЖАЛАСЬ");
    if (queueMs >= 1) {
        stages_.push_back({QStringLiteral("очередь"), queueMs});
        lastAt_ = now;
    }
    return ++measurement_;
}

void DictationTiming::mark(const QString& name) {
    const QDateTime now = Clock::shared().now();
    std::lock_guard g(lock_);
    if (!lastAt_) return;
    stages_.push_back({name, msBetween(*lastAt_, now)});
    lastAt_ = now;
}

void DictationTiming::note(const QString& text) {
    std::lock_guard g(lock_);
    notes_ << text;
}

void DictationTiming::finish(const QString& name) {
    DictationActivity::end();
    mark(name);
    QString line;
    {
        std::lock_guard g(lock_);
        if (!startedAt_ || stages_.empty()) return;
        const qint64 total = msBetween(*startedAt_, Clock::shared().now());
        QStringList parts;
        for (const Stage& s : stages_) parts << s.name + QStringLiteral(" ") + QString::number(s.ms);
        line = QStringLiteral("ждать ") + QString::number(total) + QStringLiteral(" мс: ") + parts.join(QStringLiteral(" + "));
        if (!notes_.isEmpty()) line += QStringLiteral("  [") + notes_.join(QStringLiteral(", ")) + QStringLiteral("]");
        startedAt_.reset();
        lastAt_.reset();
        stages_.clear();
        notes_.clear();
    }
    logLine(line);
}

void DictationTiming::abandon() {
    DictationActivity::end();
    std::lock_guard g(lock_);
    startedAt_.reset();
    lastAt_.reset();
    stages_.clear();
    notes_.clear();
}

bool DictationTiming::abandonIfOpen(quint64 id) {
    {
        std::lock_guard g(lock_);
        if (id != measurement_ || !startedAt_) return false;
        startedAt_.reset();
        lastAt_.reset();
        stages_.clear();
        notes_.clear();
    }
    DictationActivity::end();
    return true;
}

bool DictationTiming::isMeasuring() const {
    std::lock_guard g(lock_);
    return startedAt_.has_value();
}

std::vector<DictationTiming::Stage> DictationTiming::stages() const {
    std::lock_guard g(lock_);
    return stages_;
}

void DictationTiming::resetForTesting() {
    std::lock_guard g(lock_);
    keyUpAt_.reset();
    lastKeyUpAt_.reset();
    startedAt_.reset();
    lastAt_.reset();
    stages_.clear();
    notes_.clear();
}

}  // namespace murmelo
