#include "ui/GlHelper.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QSurfaceFormat>

namespace murmelo::Gl {

namespace {
QOpenGLExtraFunctions& gl() { return *QOpenGLContext::currentContext()->extraFunctions(); }
}  // namespace

QSurfaceFormat coreFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(3, 3);
    f.setProfile(QSurfaceFormat::CoreProfile);
    f.setAlphaBufferSize(8);
    f.setDepthBufferSize(0);
    f.setStencilBufferSize(0);
    return f;
}

QString withHeader(const QString& source, const QStringList& defines) {
    QString head = QStringLiteral("#version 330 core\n");
    for (const QString& d : defines) head += QStringLiteral("#define ") + d + QLatin1Char('\n');
    // Line numbers of the compiler's log count from the file's first line again.
    return head + QStringLiteral("#line 1\n") + source;
}

std::unique_ptr<QOpenGLShaderProgram> buildProgram(const QString& vertex, const QString& fragment, QString* log) {
    auto program = std::make_unique<QOpenGLShaderProgram>();
    const bool ok = program->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) &&
                    program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment) && program->link();
    if (!ok) {
        if (log) *log = program->log().trimmed();
        return nullptr;
    }
    return program;
}

FullScreenTriangle::~FullScreenTriangle() {
    if (vao_ && QOpenGLContext::currentContext()) gl().glDeleteVertexArrays(1, &vao_);
}

void FullScreenTriangle::draw() { drawInstanced(3, 1); }

void FullScreenTriangle::drawInstanced(int vertices, int instances) {
    if (!vao_) gl().glGenVertexArrays(1, &vao_);
    gl().glBindVertexArray(vao_);
    gl().glDrawArraysInstanced(GL_TRIANGLES, 0, vertices, instances);
    gl().glBindVertexArray(0);
}

RenderTarget::~RenderTarget() {
    if (QOpenGLContext::currentContext()) release();
}

void RenderTarget::release() {
    auto& f = gl();
    if (fbo_) f.glDeleteFramebuffers(1, &fbo_);
    if (texture_) f.glDeleteTextures(1, &texture_);
    if (msFbo_) f.glDeleteFramebuffers(1, &msFbo_);
    if (msColour_) f.glDeleteRenderbuffers(1, &msColour_);
    if (msDepth_) f.glDeleteRenderbuffers(1, &msDepth_);
    fbo_ = texture_ = msFbo_ = msColour_ = msDepth_ = 0;
}

bool RenderTarget::create(QSize size, TargetFormat format, int samples) {
    auto& f = gl();
    release();
    size_ = size;
    format_ = format;
    samples_ = samples;
    const GLenum internal = format == TargetFormat::rgba32f ? GL_RGBA32F
                            : format == TargetFormat::rgba16f ? GL_RGBA16F
                                                              : GL_RGBA8;
    f.glGenTextures(1, &texture_);
    f.glBindTexture(GL_TEXTURE_2D, texture_);
    f.glTexImage2D(GL_TEXTURE_2D, 0, internal, size.width(), size.height(), 0, GL_RGBA,
                   format == TargetFormat::rgba8 ? GL_UNSIGNED_BYTE : GL_FLOAT, nullptr);
    f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    f.glBindTexture(GL_TEXTURE_2D, 0);
    GLint previous = 0;
    f.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    f.glGenFramebuffers(1, &fbo_);
    f.glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    f.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    bool complete = f.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete && samples > 0) {
        f.glGenRenderbuffers(1, &msColour_);
        f.glBindRenderbuffer(GL_RENDERBUFFER, msColour_);
        f.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, internal, size.width(), size.height());
        f.glGenRenderbuffers(1, &msDepth_);
        f.glBindRenderbuffer(GL_RENDERBUFFER, msDepth_);
        f.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT32F, size.width(),
                                           size.height());
        f.glBindRenderbuffer(GL_RENDERBUFFER, 0);
        f.glGenFramebuffers(1, &msFbo_);
        f.glBindFramebuffer(GL_FRAMEBUFFER, msFbo_);
        f.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, msColour_);
        f.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, msDepth_);
        complete = f.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    f.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    if (!complete) release();
    return complete;
}

void RenderTarget::bind() {
    gl().glBindFramebuffer(GL_FRAMEBUFFER, msFbo_ ? msFbo_ : fbo_);
    gl().glViewport(0, 0, size_.width(), size_.height());
}

void RenderTarget::resolve() {
    if (!msFbo_) return;
    auto& f = gl();
    f.glBindFramebuffer(GL_READ_FRAMEBUFFER, msFbo_);
    f.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
    f.glBlitFramebuffer(0, 0, size_.width(), size_.height(), 0, 0, size_.width(), size_.height(),
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
    f.glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
}

QImage RenderTarget::read() {
    resolve();
    gl().glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return readBack(size_, format_ != TargetFormat::rgba8);
}

QImage readBack(QSize size, bool floatPixels) {
    QImage image(size, floatPixels ? QImage::Format_RGBA32FPx4 : QImage::Format_RGBA8888);
    auto& f = gl();
    f.glPixelStorei(GL_PACK_ALIGNMENT, 4);
    f.glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    f.glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, floatPixels ? GL_FLOAT : GL_UNSIGNED_BYTE,
                   image.bits());
    // GL's first row is the bottom one.
    image = image.mirrored(false, true);
    return image;
}

}  // namespace murmelo::Gl
