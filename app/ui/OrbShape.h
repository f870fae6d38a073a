#pragma once
#include <QColor>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointF>

namespace murmelo {

// The orb's outline: a softly irregular circle, closed by a Catmull-Rom spline.
namespace OrbShape {
inline constexpr int N = 64;
inline constexpr double spikeHeight = 0.55;
// The animated outline: t in seconds, lv the sound level from 0 to 1.
QPainterPath path(QPointF center, double R, double t, double lv);
// A closed smooth path through the points (at least one).
QPainterPath catmullClosed(const QList<QPointF>& points);
// The 40 points of the status item's static orb.
QList<QPointF> barPoints(QPointF center, double R);
}  // namespace OrbShape

// How the status item's orb is painted. Two solid modes are equal when their colours are.
struct OrbIconMode {
    enum class Kind { solid, templateImage, chrome };
    Kind kind = Kind::templateImage;
    QColor color;

    static OrbIconMode solid(const QColor& c) { return {Kind::solid, c}; }
    static OrbIconMode templated() { return {Kind::templateImage, {}}; }
    static OrbIconMode chrome() { return {Kind::chrome, {}}; }
    bool operator==(const OrbIconMode& o) const {
        return kind == o.kind && (kind != Kind::solid || color == o.color);
    }
};

// The platform's purple, orange and red of the solid modes.
namespace OrbColors {
QColor purple();
QColor orange();
QColor red();
}  // namespace OrbColors

// The 18 x 18 point orb image for a mode, at the given pixel scale. A template orb is a
// silhouette in the bar's ink: black on a light bar, white on a dark one, since Linux trays
// do not tint images.
inline constexpr int ORB_ICON_SIZE = 18;
QImage orbBarIcon(const OrbIconMode& mode, double scale = 1.0, bool darkBar = false);

}  // namespace murmelo
