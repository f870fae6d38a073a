#include "ui/SmallControls.h"

#include "base/Geometry.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace murmelo {

// --- Models ----------------------------------------------------------------------

QRectF SwModel::knobFrame() const {
    const QSizeF track = trackSize();
    const double d = knobDiameter(), inset = knobInset();
    return QRectF(on ? track.width() - inset - d : inset, inset, d, d);
}

double HoverRowModel::height() const { return QuickPanelMetrics::rowHeight; }

QColor TogRowModel::iconColor() const {
    QColor c = w.ink();
    c.setAlphaF(c.alphaF() * 0.7f);
    return c;
}

TogRowModel::Layout TogRowModel::layout(double width, double nameWidth, double hintWidth) const {
    Layout out;
    out.showsHint = !hint.isEmpty();
    const QSizeF swSize = sw().trackSize();
    const int gaps = out.showsHint ? 4 : 3;
    const double text = std::max(0.0, width - 2 * padding - iconWidth - swSize.width() - minSpacer - gaps * spacing);
    const double nameW = std::min(nameWidth, text);
    const double hintW = out.showsHint ? std::min(hintWidth, std::max(0.0, text - nameW)) : 0;
    // Everything is centred vertically in the row; lines of text take the row's height.
    double x = padding;
    out.icon = QRectF(x, 0, iconWidth, height);
    x += iconWidth + spacing;
    out.name = QRectF(x, 0, nameW, height);
    x += nameW + spacing;
    if (out.showsHint) out.hint = QRectF(x, 0, hintW, height);
    out.sw = QRectF(width - padding - swSize.width(), (height - swSize.height()) / 2, swSize.width(), swSize.height());
    return out;
}

// --- Drawing -----------------------------------------------------------------------

void paintSw(QPainter& p, const SwModel& m, QPointF origin) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(origin);
    const QSizeF track = m.trackSize();
    const double radius = track.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(QRectF(QPointF(0, 0), track), radius, radius);
    p.fillPath(capsule, m.trackColor());
    const QRectF knob = toQtRect(m.knobFrame(), track.height());
    if (m.shadowOpacity() > 0) {
        // A soft dark ring under the knob, moved down by the shadow's offset.
        const QPointF c = knob.center() + QPointF(0, m.shadowOffsetY());
        const double r = knob.width() / 2 + m.shadowRadius();
        QRadialGradient g(c, r);
        g.setColorAt(0, srgb(0, 0, 0, m.shadowOpacity()));
        g.setColorAt((knob.width() / 2 - m.shadowRadius() / 2) / r, srgb(0, 0, 0, m.shadowOpacity()));
        g.setColorAt(1, srgb(0, 0, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(m.knobColor());
    p.drawEllipse(knob);
    p.restore();
}

namespace {

void paintRowBackground(QPainter& p, const QRectF& r, double radius, const QColor& color) {
    if (color.alpha() == 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, color);
    p.restore();
}

}  // namespace

Cap::Cap(const QString& text, const Water& w, QWidget* parent) : QWidget(parent), model{text, w} {}

QSize Cap::sizeHint() const {
    const QFontMetrics fm(model.font());
    return QSize(fm.horizontalAdvance(model.text), fm.height());
}

void Cap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(model.font());
    p.setPen(model.color());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(model.font()).elidedText(model.text, Qt::ElideRight, width()));
}

Sw::Sw(bool on, const Water& w, QWidget* parent) : QWidget(parent), model{on, w} {
    setFixedSize(sizeHint());
}

void Sw::setOn(bool on) {
    model.on = on;
    update();
}

QSize Sw::sizeHint() const { return model.trackSize().toSize(); }

void Sw::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QSizeF track = model.trackSize();
    paintSw(p, model, QPointF((width() - track.width()) / 2, (height() - track.height()) / 2));
}

HoverRow::HoverRow(const Water& w, std::function<void()> action, QWidget* parent)
    : QWidget(parent), model{w, std::move(action)} {
    content_ = new QHBoxLayout(this);
    content_->setContentsMargins(int(HoverRowModel::padding), 0, int(HoverRowModel::padding), 0);
    content_->setSpacing(int(HoverRowModel::spacing));
    content_->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    setFixedHeight(int(model.height()));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void HoverRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintRowBackground(p, rect(), HoverRowModel::cornerRadius, model.background());
}

void HoverRow::enterEvent(QEnterEvent*) {
    model.over = true;
    update();
}

void HoverRow::leaveEvent(QEvent*) {
    model.over = false;
    update();
}

void HoverRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && model.action) model.action();
}

TogRow::TogRow(const QString& icon, const QString& name, const QString& hint, bool on, const Water& w,
               std::function<void()> action, QWidget* parent)
    : QWidget(parent), model{icon, name, hint, on, w, std::move(action)} {
    setFixedHeight(int(TogRowModel::height));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

QSize TogRow::sizeHint() const {
    const double name = QFontMetricsF(F::quickRow()).horizontalAdvance(model.name);
    const double hint = model.hint.isEmpty() ? 0 : QFontMetricsF(F::sec()).horizontalAdvance(model.hint) + TogRowModel::spacing;
    const double w = 2 * TogRowModel::padding + TogRowModel::iconWidth + name + hint + TogRowModel::minSpacer +
                     3 * TogRowModel::spacing + model.sw().trackSize().width();
    return QSize(int(std::ceil(w)), int(TogRowModel::height));
}

TogRowModel::Layout TogRow::currentLayout() const {
    return model.layout(width(), QFontMetricsF(F::quickRow()).horizontalAdvance(model.name),
                        model.hint.isEmpty() ? 0 : QFontMetricsF(F::sec()).horizontalAdvance(model.hint));
}

void TogRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintRowBackground(p, rect(), TogRowModel::cornerRadius, model.background());
    const TogRowModel::Layout l = currentLayout();
    const double H = height();

    const QRectF icon = toQtRect(l.icon, H);
    const QIcon themed = QIcon::fromTheme(model.icon);
    if (!themed.isNull()) {
        themed.paint(&p, QRectF(icon.x(), icon.center().y() - 7, 14, 14).toRect());
    } else {
        // No symbol under that name on this desktop: a quiet dot keeps the column.
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(model.iconColor());
        p.drawEllipse(icon.center(), 3, 3);
        p.restore();
    }
    auto text = [&](const QRectF& frame, const QFont& font, const QColor& color, const QString& s) {
        if (frame.width() <= 0) return;
        p.setFont(font);
        p.setPen(color);
        const QRectF r = toQtRect(frame, H);
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::AlignAbsolute,
                   QFontMetricsF(font).elidedText(s, Qt::ElideRight, r.width()));
    };
    text(l.name, F::quickRow(), model.nameColor(), model.name);
    if (l.showsHint) text(l.hint, F::sec(), model.hintColor(), model.hint);
    paintSw(p, model.sw(), toQtRect(l.sw, H).topLeft());
}

void TogRow::enterEvent(QEnterEvent*) {
    model.over = true;
    update();
}

void TogRow::leaveEvent(QEvent*) {
    model.over = false;
    update();
}

void TogRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && model.action) model.action();
}

}  // namespace murmelo
