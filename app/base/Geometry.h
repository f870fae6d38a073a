#pragma once
#include <QRectF>

namespace murmelo {

// Interface geometry is worked out with the origin at the bottom left and y growing
// upwards; Qt puts the origin at the top left. This converts a frame inside a container of
// the given height, once, where a widget is placed.
inline QRectF toQtRect(const QRectF& bottomUp, double containerHeight) {
    return QRectF(bottomUp.x(), containerHeight - bottomUp.y() - bottomUp.height(), bottomUp.width(), bottomUp.height());
}

}  // namespace murmelo
