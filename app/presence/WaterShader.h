#pragma once
#include "presence/DropMotion.h"
#include "ui/GlHelper.h"

#include <QSize>
#include <QString>

namespace murmelo {

// The water design's fragment program, GLSL 330 core, as four pieces joined with one line
// feed: the head (the uniform block `U` in the field order of `DropUniforms`, the scale and
// light constants, `lin`, `aces`, `envScene`), the shape (`ABSORB`, `mapDrop`), the shading
// (`normDrop`, `marchInside`, `shadeWater`) and the entry. The bead images swap the shape and
// the entry for their own and keep the other two.
const QString& DROP_MSL_HEAD();
extern const char* const DROP_MSL_DROP_GEOM;
extern const char* const DROP_MSL_SHADE;
extern const char* const DROP_MSL_DROP_MAIN;
const QString& DROP_MSL();
// The vertex stage of every water program: one triangle over the whole target.
extern const char* const DROP_VERTEX_GLSL;

// A number as the shortest text that reads back as the same 32-bit float ("0.0182").
QString shortestFloatText(float value);

// One water frame with the set's program into the framebuffer `target` (device pixels); needs
// a context that shares with the set's, current whenever it is used or destroyed.
class WaterPass {
public:
    WaterPass();
    ~WaterPass();
    WaterPass(const WaterPass&) = delete;
    WaterPass& operator=(const WaterPass&) = delete;
    // resW and resH come from the size; false when there is nothing to draw with.
    bool render(const DropUniforms& u, GLuint target, QSize size);

private:
    Gl::FullScreenTriangle triangle_;
    GLuint buffer_ = 0;
};

}  // namespace murmelo
