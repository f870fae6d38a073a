#include "dictation/ModelPerformance.h"

#include "base/Localization.h"

#include <QFile>
#include <QLocale>
#include <QVariantList>
#include <cmath>

namespace murmelo::ModelPerformance {

std::optional<QString> processorName(const QByteArray& cpuinfo) {
    for (const QByteArray& line : cpuinfo.split('\n')) {
        if (!line.startsWith("model name")) continue;
        const QString value = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
        if (!value.isEmpty()) return value;
    }
    return std::nullopt;
}

QString hardwareName(const std::optional<QString>& processor) {
    if (processor) return *processor;
    return L(QStringLiteral("prefs.model.speed.thisComputer"), QStringLiteral("этого компьютера"));
}

QString hardwareName() {
    static const std::optional<QString> processor = [] {
        QFile cpu(QStringLiteral("/proc/cpuinfo"));
        return cpu.open(QIODevice::ReadOnly) ? processorName(cpu.readAll()) : std::nullopt;
    }();
    return hardwareName(processor);
}

std::optional<Range> estimate(const QString& modelID, const QString& hardware) {
    if (hardware.trimmed() != QLatin1String("Apple M5 Pro")) return std::nullopt;
    if (modelID == QLatin1String("tiny")) return Range{0.1, 1.0};
    if (modelID == QLatin1String("q5") || modelID == QLatin1String("turbo")) return Range{0.7, 2.0};
    if (modelID == QLatin1String("large-v3-q5")) return Range{1.5, 5.0};
    if (modelID == QLatin1String("parakeet-tdt-v3")) return Range{0.2, 1.0};
    return std::nullopt;
}

namespace {
QString number(double v, const QLocale& locale) {
    const double tenths = std::round(v * 10.0);
    if (std::fmod(tenths, 10.0) == 0.0) return locale.toString(qlonglong(tenths / 10.0));
    return locale.toString(tenths / 10.0, 'f', 1);
}
}  // namespace

QString formattedRange(const Range& range, const QString& locale) {
    const QLocale l(locale);
    return number(range.first, l) + QStringLiteral("–") + number(range.second, l);
}

QString summary(const QString& modelID) {
    const auto range = estimate(modelID);
    if (!range)
        return L(QStringLiteral("prefs.model.speed.unavailable"), QStringLiteral("Для этого компьютера пока нет оценки"));
    return L(QStringLiteral("prefs.model.speed.estimated"), QStringLiteral("10 с аудио ≈ %1$@ с распознавания"),
             QVariantList{formattedRange(*range, Localization::language())});
}

}  // namespace murmelo::ModelPerformance
