#pragma once
#include <QImage>

namespace murmelo {

// The program's one Gaussian blur for painted layers (halos, soft shadows, the orb logo's
// ring). A blur "radius" is the Gaussian's standard deviation in the image's own pixels; the
// kernel reaches three of them each way.
namespace Blur {
inline double sigma(double radius) { return radius; }
// The image blurred in premultiplied colour, same size and device pixel ratio: what lies
// outside counts as transparent, what spreads past the edge is cut off (leave a margin).
QImage blurred(const QImage& image, double radius);
}  // namespace Blur

}  // namespace murmelo
