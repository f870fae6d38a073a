#pragma once
#include "platform/MainQueue.h"
#include "ui/Water.h"

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QWidget>
#include <memory>
#include <optional>

class QLabel;
class QPainter;

namespace murmelo {

// The small cards that float over other apps' windows: set up as a frameless window that
// stays on top and never takes focus, drawn as the water card with rounded corners, and
// placed at the bottom-right of the screen under the pointer.
namespace FloatingCard {

inline constexpr double edgeGap = 16;
inline constexpr double cornerRadius = 12;

enum class Clicks { taken, passThrough };
// Most cards never take the keyboard; a card the user types into does (on X11 a window
// cannot take typing without being activated).
enum class Focus { never, takes };

// Makes w a floating card window. A card without buttons lets clicks through to the window
// below; extra flags are added to the common ones.
void setUpWindow(QWidget* w, Clicks clicks, Qt::WindowFlags extra = {}, Focus focus = Focus::never);

// The surface: the water card clipped to rounded corners under a hairline outline.
void paintSurface(QPainter& p, const QRect& rect, const Water& w, double radius = cornerRadius);

// A rounded plate inside a card (a text box, a heads-up surface): filled, under a hairline.
void paintPlate(QPainter& p, const QRect& rect, const QColor& fill, const QColor& line, double radius);

// A plain-text label of the card in its font and colour.
QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);

// The card's origin in the bottom-left-origin model: edgeGap in from the bottom-right corner
// of the visible frame.
QPointF origin(const std::optional<QRectF>& visibleFrame, const QSizeF& size);

// Where a card of this size stands on the screen under the pointer, in Qt's coordinates
// (the bottom-left-origin model is converted once here). Without a screen: at (0, 0).
QRect placement(const QSize& size);

// Takes the card off the screen and drops its pending hide. The window is deleted later:
// this may run from the card's own button.
void close(std::unique_ptr<QWidget>& panel, TimerHandle& hideWork);

}  // namespace FloatingCard

// A floating card's surface to lay widgets out on.
class FloatingCardSurface : public QWidget {
public:
    explicit FloatingCardSurface(const Water& w);
    const Water& water() const { return w_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Water w_;
};

}  // namespace murmelo
