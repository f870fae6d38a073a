#pragma once
#include "presence/DropMotion.h"
#include "ui/GlHelper.h"

#include <QSize>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLShaderProgram;

namespace murmelo {

// The shared graphics set: one context that every drop window's context shares with, the
// light design's programs and the water design's one. Made once per process on first use: all programs or none.
class DropGraphics {
public:
    static DropGraphics& shared();
    ~DropGraphics();

    // Makes the set on first use; false (logged once) without an OpenGL 3.3 context or when a
    // program does not build.
    bool ready();
    QOpenGLContext* context() const { return context_.get(); }
    // Makes the set's own context current on its offscreen surface (for drawing offscreen).
    bool makeCurrent();
    QOpenGLShaderProgram* motes() const { return motes_.get(); }
    QOpenGLShaderProgram* grace() const { return grace_.get(); }
    QOpenGLShaderProgram* blur() const { return blur_.get(); }
    QOpenGLShaderProgram* composite() const { return composite_.get(); }
    QOpenGLShaderProgram* water() const { return water_.get(); }
    // The uniform block binding of the water program's `U`.
    static constexpr GLuint WATER_BLOCK = 3;

    // Tests: as if no context could be made.
    static void switchOffForTesting(bool off);

private:
    bool make();
    void fail(const QString& line);
    bool attempted_ = false;
    bool ok_ = false;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLShaderProgram> motes_, grace_, blur_, composite_, water_;
};

// The light design's passes for one context (that shares with the set's): the motes, the scene, two half-size blurs and the composite into the target framebuffer.
// Needs its context current whenever it is used or destroyed.
class SolarPasses {
public:
    SolarPasses();
    ~SolarPasses();
    SolarPasses(const SolarPasses&) = delete;
    SolarPasses& operator=(const SolarPasses&) = delete;

    // One frame into the framebuffer `target` of that size in device pixels; false when the
    // frame was skipped (no set, no size, a target that cannot be made).
    bool render(const SolarUniforms& u, bool cloud, GLuint target, QSize size);
    // The motes and the scene alone into the scene target (read it with scene().read()).
    bool renderScene(const SolarUniforms& u, QSize size);
    Gl::RenderTarget& scene() { return scene_; }
    Gl::RenderTarget& bloomA() { return bloomA_; }
    Gl::RenderTarget& bloomB() { return bloomB_; }

private:
    bool ensureTargets(QSize size);
    void pass(QOpenGLShaderProgram* program, GLuint block, const void* data, int bytes);

    Gl::RenderTarget motes_, scene_, bloomA_, bloomB_;
    Gl::FullScreenTriangle triangle_;
    GLuint buffers_[3] = {0, 0, 0};
    GLuint sampler_ = 0;
};

}  // namespace murmelo
