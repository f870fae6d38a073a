#include "settings/PrefsView.h"

#include "base/Localization.h"
#include "ui/AppPalette.h"
#include "ui/Water.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>

namespace murmelo {

namespace {

constexpr double kLineGap = 8;

QLinearGradient vertical(const QList<QColor>& colours, double height) {
    QLinearGradient g(0, 0, 0, height);
    for (qsizetype i = 0; i < colours.size(); ++i)
        g.setColorAt(colours.size() == 1 ? 0 : double(i) / double(colours.size() - 1), colours[i]);
    return g;
}

}  // namespace

PrefsView::PrefsView(PrefsState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setFixedWidth(int(PREFS_WINDOW_WIDTH));
    connect(&state_, &PrefsState::changed, this, [this](PrefsField) {
        updateGeometry();
        update();
    });
}

QStringList PrefsView::pageLines() const {
    if (state_.showsStatistics())
        return {L(QStringLiteral("stats.sidebar.month"), QStringLiteral("В этом месяце"))};
    QStringList lines{PrefsTabs::title(state_.tab())};
    if (state_.tab() == PrefsTab::dictation) lines << state_.footer() << state_.diskText();
    return lines;
}

QSize PrefsView::sizeHint() const {
    const double rail = padding * 2 + railRowHeight * double(PrefsTabs::allCases.size());
    const QStringList lines = pageLines();
    double page = padding * 2 + QFontMetricsF(F::name()).height();
    for (qsizetype i = 1; i < lines.size(); ++i) page += kLineGap + QFontMetricsF(F::text()).height();
    // A page that measured its own content reports it through the model.
    const double measured = state_.pageHeight() > 0 ? padding * 2 + state_.pageHeight() : 0;
    return {int(PREFS_WINDOW_WIDTH), int(std::ceil(std::max({rail, page, measured})))};
}

void PrefsView::paintEvent(QPaintEvent*) {
    const Water w{AppPalette::isDark(), true};
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = height();
    p.fillRect(QRectF(railW, 0, width() - railW, h), vertical(w.prefsContentBody(), h));
    p.fillRect(QRectF(0, 0, railW, h), vertical(w.prefsSidebarBody(), h));

    // The rail: one row per page, the selected one filled unless statistics cover it.
    double y = padding;
    for (PrefsTab tab : PrefsTabs::allCases) {
        const QRectF row(12, y, railW - 24, railRowHeight - 4);
        if (tab == state_.tab() && !state_.showsStatistics()) {
            p.setPen(QPen(w.prefsSidebarSelectedLine(), 1));
            p.setBrush(w.prefsSidebarSelected());
            p.drawRoundedRect(row, 10, 10);
        }
        p.setPen(w.ink());
        p.setFont(F::text());
        p.drawText(row.adjusted(12, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft, PrefsTabs::title(tab));
        y += railRowHeight;
    }

    // The page column.
    const QStringList lines = pageLines();
    double top = padding;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QFont& font = i == 0 ? F::name() : F::text();
        const double lineHeight = QFontMetricsF(font).height();
        p.setFont(font);
        p.setPen(i == 0 ? w.ink() : w.cap());
        p.drawText(QRectF(railW + padding, top, width() - railW - padding * 2, lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        top += lineHeight + kLineGap;
    }
}

}  // namespace murmelo
