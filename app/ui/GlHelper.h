#pragma once
#include <QImage>
#include <QOpenGLExtraFunctions>
#include <QSize>
#include <QString>
#include <memory>

class QOpenGLShaderProgram;

namespace murmelo::Gl {

// OpenGL 3.3 core through Qt, shared by the views that draw on the graphics processor. Every
// call needs a current context of at least that version.

// The surface format of drawing windows and offscreen contexts: 3.3 core with an alpha channel.
QSurfaceFormat coreFormat();

// The shader text with its version line and the stage's defines put first, so that one file
// can hold several stages and programs (each selected by #ifdef).
QString withHeader(const QString& source, const QStringList& defines);

// A linked program from the two stage texts; nothing and the compiler's log otherwise.
std::unique_ptr<QOpenGLShaderProgram> buildProgram(const QString& vertex, const QString& fragment, QString* log);

// The full-screen triangle (-1, -1), (3, -1), (-1, 3), made by the vertex stage from
// gl_VertexID; the core profile still needs a vertex array bound to draw it.
class FullScreenTriangle {
public:
    FullScreenTriangle() = default;
    ~FullScreenTriangle();
    FullScreenTriangle(const FullScreenTriangle&) = delete;
    FullScreenTriangle& operator=(const FullScreenTriangle&) = delete;
    void draw();
    // Another draw without vertex attributes on the same array: the vertex stage makes each
    // vertex from gl_VertexID and gl_InstanceID.
    void drawInstanced(int vertices, int instances);

private:
    GLuint vao_ = 0;
};

enum class TargetFormat { rgba8, rgba16f, rgba32f };

// A colour texture to draw into (and read from in a later pass); with samples > 0 a
// multisampled colour buffer with a 32-bit float depth buffer, resolved into the texture.
class RenderTarget {
public:
    RenderTarget() = default;
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // (Re)makes the target; false when the framebuffer is not complete.
    bool create(QSize size, TargetFormat format, int samples = 0);
    bool valid() const { return fbo_ != 0; }
    QSize size() const { return size_; }
    GLuint texture() const { return texture_; }
    // The framebuffer whose colour is the texture (where a resolve lands).
    GLuint framebuffer() const { return fbo_; }
    // The framebuffer to draw into (the multisampled one when there is one), with the viewport.
    void bind();
    // Copies the multisampled drawing into the texture; nothing to do without samples.
    void resolve();
    // The texture's pixels, top row first (GL's first row is the bottom one).
    QImage read();

private:
    void release();
    QSize size_;
    TargetFormat format_ = TargetFormat::rgba8;
    int samples_ = 0;
    GLuint fbo_ = 0, texture_ = 0;
    GLuint msFbo_ = 0, msColour_ = 0, msDepth_ = 0;
};

// The pixels of the bound read framebuffer at that size, top row first: 8-bit RGBA, or
// 32-bit float RGBA for high-range targets.
QImage readBack(QSize size, bool floatPixels);

}  // namespace murmelo::Gl
