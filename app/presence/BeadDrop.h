#pragma once
#include <QImage>
#include <QList>
#include <QString>
#include "ui/Presence.h"

namespace murmelo {

// A bead: a still sphere of the drop's water, BEAD_BODY_PT across in a transparent square of
// BEAD_BOX_PT, rendered once per display scale with the water shader's head and shading and
// kept for the life of the process. Renders run on one thread of their own that owns the
// OpenGL context; callers on any thread wait for them under the lock.
inline constexpr float BEAD_TIME = 12.0f;
inline constexpr int BEAD_SAMPLES = 3;
// The bead's shape piece: `ABSORB` and `mapDrop` for a sphere with the resting tremor.
extern const char* const BEAD_GEOMETRY;

// The bead program's fragment text: head, shape, shading and the bead's entry.
QString beadMSL(double bodyPt, int samples, const QString& geometry = QString::fromLatin1(BEAD_GEOMETRY));

namespace BeadDrop {

// The bead of BEAD_BOX_PT points at that scale (device pixel ratio set), premultiplied; the
// same image on every later call; a null image when it cannot be rendered. Any thread.
QImage image(double scale);
// Renders the images for the scales of all current screens on the render thread. Main thread.
void prewarm();
// The scales of those screens, once each.
QList<double> prewarmScales(const QList<double>& screenScales);
// One render, not cached; a null image when it cannot be made. Any thread.
QImage render(double boxPt, double bodyPt, double scale, int samples = BEAD_SAMPLES,
              const QString& geometry = QString::fromLatin1(BEAD_GEOMETRY), float time = BEAD_TIME, float lv = 0.05f);
// Pixels per side: boxPt × scale, halves away from zero.
int pixelSize(double boxPt, double scale);

// Tests: as if no OpenGL context could be made (forgets the cache and the remembered failure).
void switchOffForTesting(bool off);

}  // namespace BeadDrop

}  // namespace murmelo
