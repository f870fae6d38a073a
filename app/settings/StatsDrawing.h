#pragma once
#include "stats/MonthlyStatsMonth.h"
#include "ui/Water.h"

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <optional>
#include <variant>
#include <vector>

class QPainter;

namespace murmelo {

// The four category colours of the statistics views, the same on every screen.
namespace StatsPalette {
const QColor& voice();
const QColor& corrections();
const QColor& layout();
const QColor& adoption();
}  // namespace StatsPalette

// The statistics card surface under a content rectangle: rounded fill, hairline and a soft
// shadow below. Paint it before the content; it adds no margin.
void statsCard(QPainter& painter, const QRectF& rect, const Water& w);
// How far the card's shadow reaches beyond the rectangle (leave this margin when painting).
inline constexpr double statsCardShadowMargin = 16 * 3 + 8;

// --- Plain models ---------------------------------------------------------------------

// The three button looks of the statistics page and its sheets.
enum class StatsButtonStyle { Icon, Accent, Plain };
struct StatsButtonLook {
    QColor fill;
    std::optional<QColor> outline;  // width 1 when present
    QColor label;
    double radius = 0;
    double opacity = 1;
};
StatsButtonLook statsButtonLook(StatsButtonStyle style, const Water& w, bool pressed);

// Hours and minutes as the ring and the duration counters show them.
struct StatsDurationGroups {
    bool dash = false;                  // nothing measured: "—"
    std::optional<qint64> hours;        // shown when above 0
    std::optional<qint64> minutes;      // shown when above 0 or with no hours
    bool operator==(const StatsDurationGroups&) const = default;
};
StatsDurationGroups statsDurationGroups(std::optional<double> seconds);

// Where the ring's three arcs end, as fractions of the circle from 12 o'clock clockwise; each
// arc starts where the previous one ends.
struct StatsRingFractions {
    double voiceEnd = 0;
    double correctionsEnd = 0;
    double layoutEnd = 0;
    bool operator==(const StatsRingFractions&) const = default;
};
StatsRingFractions statsRingFractions(const MonthlyStatsMonth& record);

// The value text of a breakdown row.
QString statsBenefitText(std::optional<double> seconds);

// One point of the small line chart.
struct StatsChartPoint {
    QPointF at;
    QString label;
    bool labelVisible = true;
    bool operator==(const StatsChartPoint&) const = default;
};

// --- Views ----------------------------------------------------------------------------

// The saved-time ring of one month. The ring fills the square `side` wide; the widget adds a
// margin around it so that the glow and the strokes outside the square show.
class StatsTimeRing : public QWidget {
public:
    static constexpr double margin = 22 * 3;
    StatsTimeRing(MonthlyStatsMonth record, Water w, double side = 204, QWidget* parent = nullptr);
    // The ring's square inside the widget.
    QRectF square() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    MonthlyStatsMonth record_;
    Water w_;
    double side_;
};

// One breakdown row: a coloured dot, the label and the saved time.
class StatsBenefitRow : public QWidget {
public:
    StatsBenefitRow(QString label, std::optional<double> seconds, QColor color, Water w, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString label_;
    std::optional<double> seconds_;
    QColor color_;
    Water w_;
};

// The waveform badge of the voice story.
class StatsWaveMark : public QWidget {
public:
    static constexpr double margin = 11;
    explicit StatsWaveMark(Water w, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Water w_;
};

// One support counter's content.
struct StatsSupportItem {
    using Value = std::variant<qint64, double>;  // a number, or a duration in seconds
    QString id;
    QString verb;
    Value value;
    QString result;
};

class StatsSupportMetric : public QWidget {
public:
    StatsSupportMetric(StatsSupportItem item, Water w, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    StatsSupportItem item_;
    Water w_;
};

// The small line chart of a trend tile.
class StatsLine : public QWidget {
public:
    StatsLine(std::vector<std::optional<double>> values, QStringList labels, QColor accent, Water w,
              QWidget* parent = nullptr);
    // The chart's points for a chart of the given size: periods without a value are left out,
    // the rest spaced evenly from x 9 to x width − 9; only the last four labels show.
    std::vector<StatsChartPoint> makePoints(QSizeF size) const;
    QSize minimumSizeHint() const override { return {40, 88}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<std::optional<double>> values_;
    QStringList labels_;
    QColor accent_;
    Water w_;
};

// One trend tile: title, value and caption on the left, the chart on the right.
class StatsTrendMetric : public QWidget {
public:
    StatsTrendMetric(QString title, QString value, std::optional<QString> caption,
                     std::vector<std::optional<double>> values, QStringList labels, QColor accent, Water w,
                     QWidget* parent = nullptr);
    StatsLine* line() const { return line_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QString title_;
    QString value_;
    std::optional<QString> caption_;
    Water w_;
    StatsLine* line_;
};

}  // namespace murmelo
