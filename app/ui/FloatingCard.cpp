#include "ui/FloatingCard.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace murmelo {
namespace FloatingCard {

void setUpWindow(QWidget* w, Clicks clicks, Qt::WindowFlags extra, Focus focus) {
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (focus == Focus::never) flags |= Qt::WindowDoesNotAcceptFocus;
    if (clicks == Clicks::passThrough) flags |= Qt::WindowTransparentForInput;
    w->setWindowFlags(flags | extra);
    if (focus == Focus::never) w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setAttribute(Qt::WA_TranslucentBackground);
    if (clicks == Clicks::passThrough) w->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (focus == Focus::never) w->setFocusPolicy(Qt::NoFocus);
}

void paintSurface(QPainter& p, const QRect& rect, const Water& w, double radius) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect).adjusted(0.25, 0.25, -0.25, -0.25), radius, radius);
    p.save();
    p.setClipPath(outline);
    paintWaterCard(p, rect, w, waterLightScale(rect.size()));
    p.restore();
    p.setPen(QPen(w.line(), 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
}

void paintPlate(QPainter& p, const QRect& rect, const QColor& fill, const QColor& line, double radius) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect).adjusted(0.25, 0.25, -0.25, -0.25), radius, radius);
    p.fillPath(shape, fill);
    p.setPen(QPen(line, 0.5));
    p.drawPath(shape);
}

QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

QPointF origin(const std::optional<QRectF>& visibleFrame, const QSizeF& size) {
    if (!visibleFrame) return {0, 0};
    return {visibleFrame->right() - size.width() - edgeGap, visibleFrame->top() + edgeGap};
}

QRect placement(const QSize& size) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    QPoint topLeft(0, 0);
    if (screen) {
        const QRect avail = screen->availableGeometry();
        const double flipBase = avail.top() + avail.bottom() + 1;  // y' = base - y mirrors within the screen
        const QRectF visibleModel(avail.left(), flipBase - (avail.top() + avail.height()), avail.width(), avail.height());
        const QPointF o = origin(visibleModel, size);
        topLeft = QPoint(int(o.x()), int(flipBase - o.y() - size.height()));
    }
    return QRect(topLeft, size);
}

void close(std::unique_ptr<QWidget>& panel, TimerHandle& hideWork) {
    hideWork.cancel();
    hideWork.reset();
    if (panel) {
        panel->hide();
        panel.release()->deleteLater();
    }
}

}  // namespace FloatingCard

FloatingCardSurface::FloatingCardSurface(const Water& w) : w_(w) { setAttribute(Qt::WA_TranslucentBackground); }

void FloatingCardSurface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FloatingCard::paintSurface(p, rect(), w_);
}

}  // namespace murmelo
