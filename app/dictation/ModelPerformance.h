#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>

namespace murmelo::ModelPerformance {

// Seconds of recognition for 10 s of audio, as a closed range.
using Range = std::pair<double, double>;

// The processor's brand name in the text of /proc/cpuinfo; none when it names none (ARM
// kernels often leave "model name" out).
std::optional<QString> processorName(const QByteArray& cpuinfo);
// The name the speed note gives the machine ("Предварительная оценка для %1$@"): the
// processor's, else "этого компьютера" in the interface's language.
QString hardwareName(const std::optional<QString>& processor);
// The same for this machine; /proc/cpuinfo is read once.
QString hardwareName();
// Measured only on one processor; none elsewhere.
std::optional<Range> estimate(const QString& modelID, const QString& hardware = hardwareName());
// "0,7–2" in Russian: 0 to 1 fraction digits, an en dash without spaces.
QString formattedRange(const Range& range, const QString& locale);
// The speed line shown beside a model.
QString summary(const QString& modelID);

}  // namespace murmelo::ModelPerformance
