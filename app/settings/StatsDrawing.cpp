#include "settings/StatsDrawing.h"

#include "base/Localization.h"
#include "stats/StatsFormat.h"
#include "ui/Blur.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

QColor withAlpha(QColor c, double opacity) {
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

QFont withWeight(QFont f, QFont::Weight weight) {
    f.setWeight(weight);
    return f;
}

// The font made smaller, down to minScale of its size, until the text fits the width.
QFont fitted(QFont font, const QString& text, double width, double minScale) {
    const double full = QFontMetricsF(font).horizontalAdvance(text);
    if (full <= width || full <= 0) return font;
    const double scale = std::max(minScale, width / full);
    if (font.pixelSize() > 0) font.setPixelSize(std::max(1, int(std::floor(font.pixelSize() * scale))));
    else font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

void drawText(QPainter& p, const QRectF& r, const QString& text, const QFont& font, const QColor& color,
              int flags = Qt::AlignCenter) {
    p.setFont(font);
    p.setPen(color);
    p.drawText(r, flags, text);
}

// One text of a baseline-aligned row.
struct Run {
    QString text;
    QFont font;
};

std::vector<Run> durationRuns(const StatsDurationGroups& g, const QFont& number, const QFont& unit,
                              const QFont& dashFont) {
    if (g.dash) return {{QStringLiteral("—"), dashFont}};
    std::vector<Run> runs;
    if (g.hours) {
        runs.push_back({QString::number(*g.hours), number});
        runs.push_back({L(QStringLiteral("stats.unit.hour"), QStringLiteral("ч")), unit});
    }
    if (g.minutes) {
        runs.push_back({QString::number(*g.minutes), number});
        runs.push_back({L(QStringLiteral("stats.unit.minute"), QStringLiteral("мин")), unit});
    }
    return runs;
}

// Draws texts on one baseline, centred in the width, shrunk together (down to minScale) to fit.
void drawRuns(QPainter& p, std::vector<Run> runs, double spacing, double centreX, double top, double width,
              double minScale, const QColor& color) {
    auto measure = [&] {
        double total = spacing * double(runs.size() > 0 ? runs.size() - 1 : 0);
        for (const auto& r : runs) total += QFontMetricsF(r.font).horizontalAdvance(r.text);
        return total;
    };
    const double natural = measure();
    if (natural > width && natural > 0) {
        const double scale = std::max(minScale, width / natural);
        for (auto& r : runs) {
            if (r.font.pixelSize() > 0) r.font.setPixelSize(std::max(1, int(std::floor(r.font.pixelSize() * scale))));
            else r.font.setPointSizeF(r.font.pointSizeF() * scale);
        }
    }
    double ascent = 0;
    for (const auto& r : runs) ascent = std::max(ascent, QFontMetricsF(r.font).ascent());
    double x = centreX - measure() / 2;
    p.setPen(color);
    for (const auto& r : runs) {
        p.setFont(r.font);
        p.drawText(QPointF(x, top + ascent), r.text);
        x += QFontMetricsF(r.font).horizontalAdvance(r.text) + spacing;
    }
}

double runsHeight(const std::vector<Run>& runs) {
    double h = 0;
    for (const auto& r : runs) h = std::max(h, QFontMetricsF(r.font).height());
    return h;
}

void strokeCircle(QPainter& p, const QRectF& r, const QColor& color, double width) {
    p.setPen(QPen(color, width));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r);
}

// The arc of the circle in r from fraction a to b, 0 at 12 o'clock, growing clockwise.
void strokeArc(QPainter& p, const QRectF& r, double a, double b, const QColor& color, Qt::PenCapStyle cap) {
    if (!(b > a)) return;  // an empty share draws nothing, not even a cap
    QPainterPath path;
    path.arcMoveTo(r, 90 - 360 * a);
    path.arcTo(r, 90 - 360 * a, -360 * (b - a));
    QPen pen(color, 7, Qt::SolidLine, cap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

double usable(std::optional<double> v) { return v && std::isfinite(*v) ? *v : 0; }

}  // namespace

namespace StatsPalette {
// Function-local statics: made once, safe against two first uses at once.
const QColor& voice() { static const QColor c(97, 200, 194); return c; }
const QColor& corrections() { static const QColor c(109, 143, 202); return c; }
const QColor& layout() { static const QColor c(223, 160, 102); return c; }
const QColor& adoption() { static const QColor c(121, 165, 223); return c; }
}  // namespace StatsPalette

void statsCard(QPainter& p, const QRectF& rect, const Water& w) {
    QPainterPath shape;
    shape.addRoundedRect(rect, 14, 14);
    // Soft shadow: the card's shape blurred, 8 down.
    const double m = statsCardShadowMargin;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    QImage shadow((rect.size() + QSizeF(2 * m, 2 * m)).toSize() * dpr, QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(dpr);
    shadow.fill(Qt::transparent);
    {
        QPainter sp(&shadow);
        sp.setRenderHint(QPainter::Antialiasing);
        sp.translate(m - rect.left(), m - rect.top() + 8);
        sp.fillPath(shape, QColor(0, 0, 0, int(std::lround(255 * (w.dark ? 0.08 : 0.035)))));
    }
    p.drawImage(rect.topLeft() - QPointF(m, m), Blur::blurred(shadow, Blur::sigma(16) * dpr));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(shape, w.dark ? w.fill() : QColor(255, 255, 255, int(std::lround(255 * 0.34))));
    p.setPen(QPen(w.line(), 1));
    p.drawPath(shape);
    p.restore();
}

StatsButtonLook statsButtonLook(StatsButtonStyle style, const Water& w, bool pressed) {
    switch (style) {
    case StatsButtonStyle::Icon:
        return {pressed ? w.hover() : w.fill(), std::nullopt, w.ink(), 9, pressed ? 0.8 : 1.0};
    case StatsButtonStyle::Accent:
        return {pressed ? withAlpha(w.acc(), 0.72) : w.acc(), std::nullopt,
                w.dark ? srgb(0.03, 0.12, 0.15) : QColor(Qt::white), 10, 1.0};
    case StatsButtonStyle::Plain:
        return {pressed ? w.hover() : w.fill(), w.line(), w.ink(), 9, 1.0};
    }
    return {};
}

StatsDurationGroups statsDurationGroups(std::optional<double> seconds) {
    const auto parts = seconds ? StatsFormat::duration(*seconds) : std::nullopt;
    if (!parts) return {true, std::nullopt, std::nullopt};
    StatsDurationGroups g;
    if (parts->hours > 0) g.hours = parts->hours;
    if (parts->minutes > 0 || parts->hours == 0) g.minutes = parts->minutes;
    return g;
}

StatsRingFractions statsRingFractions(const MonthlyStatsMonth& record) {
    // A value that is not a number would spread into every fraction and the painter.
    const double v = std::max(0.0, usable(record.voiceSavedSeconds()));
    const double c = usable(record.correctionSavedSeconds());
    const double l = usable(record.layoutSavedSeconds());
    const double sum = v + c + l;
    if (!std::isfinite(sum)) return {};
    const double d = std::max(sum, 1.0);
    return {v / d, (v + c) / d, (v + c + l) / d};
}

QString statsBenefitText(std::optional<double> seconds) {
    if (!seconds) return L(QStringLiteral("stats.speed.measuring"), QStringLiteral("Ещё измеряем"));
    if (*seconds > 0 && *seconds < 30) return L(QStringLiteral("stats.time.lessMinute"), QStringLiteral("< 1 мин"));
    return savedCompact(seconds);
}

// --- StatsTimeRing -----------------------------------------------------------------------

StatsTimeRing::StatsTimeRing(MonthlyStatsMonth record, Water w, double side, QWidget* parent)
    : QWidget(parent), record_(std::move(record)), w_(w), side_(side) {
    const int extent = int(std::ceil(side_ + 2 * margin));
    setFixedSize(extent, extent);
}

QRectF StatsTimeRing::square() const { return {margin, margin, side_, side_}; }

void StatsTimeRing::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    QImage layers(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    layers.setDevicePixelRatio(dpr);
    layers.fill(Qt::transparent);
    const QRectF sq = square();
    {
        QPainter p(&layers);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        QPen track(w_.line(), 7, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        track.setMiterLimit(10);
        p.setPen(track);
        p.drawEllipse(sq);
        const auto f = statsRingFractions(record_);
        strokeArc(p, sq, 0, f.voiceEnd, StatsPalette::voice(), Qt::FlatCap);
        strokeArc(p, sq, f.voiceEnd, f.correctionsEnd, StatsPalette::corrections(), Qt::FlatCap);
        strokeArc(p, sq, f.correctionsEnd, f.layoutEnd, StatsPalette::layout(), Qt::RoundCap);
        strokeCircle(p, sq.adjusted(7, 7, -7, -7), withAlpha(w_.line(), 0.75), 1);

        // Centre column: kicker, value, caption, 3 apart.
        const QRectF inner = sq.adjusted(16, 16, -16, -16);
        QFont kicker = F::bold();
        kicker.setLetterSpacing(QFont::AbsoluteSpacing, 0.45);
        const QString kickerText = L(QStringLiteral("stats.hero.kicker"), QStringLiteral("СЭКОНОМЛЕНО ВРЕМЕНИ"));
        const QString caption = L(QStringLiteral("stats.saved.caption"), QStringLiteral("за месяц"));
        const QFont captionFont = withWeight(F::text(), QFont::DemiBold);
        const QRectF kickerBox = QFontMetricsF(kicker).boundingRect(inner, Qt::AlignHCenter | Qt::TextWordWrap, kickerText);
        const auto runs = durationRuns(statsDurationGroups(record_.savedSeconds()), F::statsValue(),
                                       withWeight(F::statsBody(), QFont::Bold), F::statsValue());
        const double valueH = runsHeight(runs);
        const double captionH = QFontMetricsF(captionFont).height();
        double y = inner.center().y() - (kickerBox.height() + valueH + captionH + 6) / 2;
        drawText(p, QRectF(inner.left(), y, inner.width(), kickerBox.height()), kickerText, kicker, w_.acc(),
                 Qt::AlignHCenter | Qt::TextWordWrap);
        y += kickerBox.height() + 3;
        drawRuns(p, runs, 4, inner.center().x(), y, inner.width(), 0.62, w_.ink());
        y += valueH + 3;
        drawText(p, QRectF(inner.left(), y, inner.width(), captionH), caption, captionFont, w_.cap(), Qt::AlignHCenter);

        strokeCircle(p, sq.adjusted(-6, -6, 6, 6), withAlpha(w_.acc(), 0.1), 1);
    }
    // The glow: the drawing's own shadow, tinted, behind it.
    QImage glow = layers;
    {
        QPainter gp(&glow);
        gp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        gp.fillRect(QRectF(QPointF(0, 0), QSizeF(size())), withAlpha(w_.acc(), 0.13));
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), Blur::blurred(glow, Blur::sigma(22) * dpr));
    p.drawImage(QPointF(0, 0), layers);
}

// --- StatsBenefitRow ---------------------------------------------------------------------

StatsBenefitRow::StatsBenefitRow(QString label, std::optional<double> seconds, QColor color, Water w, QWidget* parent)
    : QWidget(parent), label_(std::move(label)), seconds_(seconds), color_(std::move(color)), w_(w) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize StatsBenefitRow::sizeHint() const {
    const double h = std::max({34.0, QFontMetricsF(F::statsTitle()).height(), QFontMetricsF(F::text()).height()});
    return {int(9 + 8 + 9 + QFontMetricsF(F::text()).horizontalAdvance(label_) + 9 + 60 + 9), int(std::ceil(h))};
}

void StatsBenefitRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QPainterPath bg;
    bg.addRoundedRect(r, 10, 10);
    p.fillPath(bg, withAlpha(w_.fill(), 0.58));
    p.setPen(Qt::NoPen);
    p.setBrush(color_);
    p.drawEllipse(QRectF(9, r.center().y() - 4, 8, 8));
    const double labelX = 9 + 8 + 9;
    const double labelW = QFontMetricsF(F::text()).horizontalAdvance(label_);
    drawText(p, QRectF(labelX, 0, labelW + 1, r.height()), label_, F::text(), w_.cap(), Qt::AlignVCenter | Qt::AlignLeft);
    const QString value = statsBenefitText(seconds_);
    const double valueLeft = labelX + labelW + 9;
    const double room = std::max(1.0, r.width() - 9 - valueLeft);
    drawText(p, QRectF(valueLeft, 0, room, r.height()), value, fitted(F::statsTitle(), value, room, 0.74), w_.ink(),
             Qt::AlignVCenter | Qt::AlignRight);
}

// --- StatsWaveMark -----------------------------------------------------------------------

StatsWaveMark::StatsWaveMark(Water w, QWidget* parent) : QWidget(parent), w_(w) {
    const int extent = int(84 + 2 * margin);
    setFixedSize(extent, extent);
}

void StatsWaveMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(margin, margin, 84, 84);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(w_.acc(), 0.06));
    p.drawEllipse(frame);
    // A waveform of rounded bars, the height of the metric font.
    const double h = QFontMetricsF(F::statsMetric()).capHeight() * 1.3;
    const double bars[] = {0.35, 0.7, 1.0, 0.55, 0.85, 0.45, 0.25};
    const double step = 4.2, bar = 2.4;
    double x = frame.center().x() - step * 3 - bar / 2;
    p.setBrush(w_.acc());
    for (double b : bars) {
        const double bh = std::max(bar, h * b);
        p.drawRoundedRect(QRectF(x, frame.center().y() - bh / 2, bar, bh), bar / 2, bar / 2);
        x += step;
    }
    strokeCircle(p, frame, withAlpha(w_.acc(), 0.15), 1);
    strokeCircle(p, frame.adjusted(-10, -10, 10, 10), withAlpha(w_.acc(), 0.08), 1);
}

// --- StatsSupportMetric ------------------------------------------------------------------

StatsSupportMetric::StatsSupportMetric(StatsSupportItem item, Water w, QWidget* parent)
    : QWidget(parent), item_(std::move(item)), w_(w) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize StatsSupportMetric::sizeHint() const { return {140, 78}; }

void StatsSupportMetric::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF inner = QRectF(rect()).adjusted(12, 9, -12, 0);
    const QFont small = withWeight(F::text(), QFont::DemiBold);
    const QFontMetricsF sm(small);
    const QRectF verbBox = sm.boundingRect(inner, Qt::AlignHCenter | Qt::TextWordWrap, item_.verb);
    const double verbH = std::min(verbBox.height(), sm.lineSpacing() * 2);
    std::vector<Run> runs;
    double spacing = 3;
    if (const auto* n = std::get_if<qint64>(&item_.value)) runs.push_back({StatsFormat::number(*n), F::statsMetric()});
    else runs = durationRuns(statsDurationGroups(std::get<double>(item_.value)), F::statsMetric(), small, F::statsMetric());
    const double valueH = runsHeight(runs);
    const QRectF resultBox = sm.boundingRect(inner, Qt::AlignHCenter | Qt::TextWordWrap, item_.result);
    double y = inner.top() + std::max(0.0, (inner.height() - (verbH + valueH + resultBox.height() + 10)) / 2);
    p.save();
    p.setClipRect(QRectF(inner.left(), y, inner.width(), verbH));
    drawText(p, QRectF(inner.left(), y, inner.width(), verbBox.height()), item_.verb, small, w_.cap(),
             Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
    p.restore();
    y += verbH + 5;
    drawRuns(p, runs, spacing, inner.center().x(), y, inner.width(), 0.78, w_.ink());
    y += valueH + 5;
    drawText(p, QRectF(inner.left(), y, inner.width(), resultBox.height()), item_.result, small, w_.cap(),
             Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
}

// --- StatsLine ---------------------------------------------------------------------------

StatsLine::StatsLine(std::vector<std::optional<double>> values, QStringList labels, QColor accent, Water w,
                     QWidget* parent)
    : QWidget(parent), values_(std::move(values)), labels_(std::move(labels)), accent_(std::move(accent)), w_(w) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

std::vector<StatsChartPoint> StatsLine::makePoints(QSizeF size) const {
    std::vector<std::pair<double, QString>> kept;
    const size_t count = std::min(values_.size(), size_t(labels_.size()));
    for (size_t i = 0; i < count; ++i)
        if (values_[i]) kept.emplace_back(*values_[i], labels_[qsizetype(i)]);
    if (kept.empty()) return {};
    double top = 1;
    for (const auto& k : kept) top = std::max(top, k.first);
    const double usableWidth = std::max(size.width() - 18, 1.0);
    const size_t n = kept.size();
    std::vector<StatsChartPoint> points;
    for (size_t i = 0; i < n; ++i) {
        const double x = n == 1 ? 18 : 9 + usableWidth * double(i) / double(n - 1);
        const double y = 56 - 34 * kept[i].first / top;
        points.push_back({{x, y}, kept[i].second, n <= 3 || i + 4 >= n});
    }
    return points;
}

void StatsLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double W = width(), H = height();
    QPen guide(w_.line(), 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    guide.setDashPattern({4, 7});  // in pen widths: the width is 1
    p.setPen(guide);
    p.drawLine(QPointF(0, 22), QPointF(W, 22));
    p.drawLine(QPointF(0, 52), QPointF(W, 52));
    const auto points = makePoints(size());
    if (points.size() >= 2) {
        QPainterPath path(points.front().at);
        for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i].at);
        p.setPen(QPen(accent_, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    const QFont labelFont = withWeight(F::text(), QFont::DemiBold);
    const QFontMetricsF lm(labelFont);
    for (const auto& pt : points) {
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(accent_, 0.16));
        p.drawEllipse(pt.at, 12, 12);
        p.setBrush(accent_);
        p.drawEllipse(pt.at, 4.5, 4.5);
        if (!pt.labelVisible) continue;  // keeps its place, draws nothing
        const double lw = lm.horizontalAdvance(pt.label);
        drawText(p, QRectF(pt.at.x() - lw / 2 - 1, H - 8 - lm.height() / 2, lw + 2, lm.height()), pt.label, labelFont,
                 w_.dim());
    }
}

// --- StatsTrendMetric --------------------------------------------------------------------

StatsTrendMetric::StatsTrendMetric(QString title, QString value, std::optional<QString> caption,
                                   std::vector<std::optional<double>> values, QStringList labels, QColor accent,
                                   Water w, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), value_(std::move(value)), caption_(std::move(caption)), w_(w),
      line_(new StatsLine(std::move(values), std::move(labels), std::move(accent), w, this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setMinimumHeight(122);
}

void StatsTrendMetric::resizeEvent(QResizeEvent*) {
    // The chart takes what the 150-wide text column and the 14 gap leave.
    const QRectF inner = QRectF(rect()).adjusted(13, 13, -13, -13);
    const double h = std::max(88.0, inner.height());
    line_->setGeometry(QRectF(inner.left() + 150 + 14, inner.center().y() - h / 2,
                              std::max(1.0, inner.width() - 164), h).toRect());
}

void StatsTrendMetric::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath bg;
    bg.addRoundedRect(QRectF(rect()), 12, 12);
    p.fillPath(bg, w_.fill());
    const QRectF inner = QRectF(rect()).adjusted(13, 13, -13, -13);
    const QFont titleFont = withWeight(F::statsBody(), QFont::DemiBold);
    const QFont valueFont = fitted(F::statsEmphasis(), value_, 150, 0.74);
    const QFont captionFont = withWeight(F::text(), QFont::DemiBold);
    double h = QFontMetricsF(titleFont).height() + 6 + QFontMetricsF(valueFont).height();
    if (caption_) h += 6 + QFontMetricsF(captionFont).height();
    double y = inner.center().y() - h / 2;
    drawText(p, QRectF(inner.left(), y, 150, QFontMetricsF(titleFont).height()), title_, titleFont, w_.cap(),
             Qt::AlignLeft | Qt::AlignVCenter);
    y += QFontMetricsF(titleFont).height() + 6;
    drawText(p, QRectF(inner.left(), y, 150, QFontMetricsF(valueFont).height()), value_, valueFont, w_.ink(),
             Qt::AlignLeft | Qt::AlignVCenter);
    if (caption_) {
        y += QFontMetricsF(valueFont).height() + 6;
        drawText(p, QRectF(inner.left(), y, 150, QFontMetricsF(captionFont).height()), *caption_, captionFont,
                 w_.dim(), Qt::AlignLeft | Qt::AlignVCenter);
    }
}

}  // namespace murmelo
