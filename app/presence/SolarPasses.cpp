#include "presence/SolarPasses.h"

#include "base/Bundle.h"
#include "base/Log.h"
#include "presence/WaterShader.h"

#include <QFile>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

namespace murmelo {

namespace {
bool switchedOff = false;
QOpenGLExtraFunctions& gl() { return *QOpenGLContext::currentContext()->extraFunctions(); }

// Uniform block bindings and texture units, fixed for every program of the set.
enum : GLuint { SCENE_BLOCK = 0, BLUR_BLOCK = 1, COMPOSITE_BLOCK = 2 };

void bindBlocks(QOpenGLShaderProgram& p) {
    auto& f = gl();
    const struct {
        const char* name;
        GLuint binding;
    } blocks[] = {{"SolarU", SCENE_BLOCK}, {"SolarBlurU", BLUR_BLOCK}, {"SolarCompositeU", COMPOSITE_BLOCK}};
    for (const auto& b : blocks) {
        const GLuint index = f.glGetUniformBlockIndex(p.programId(), b.name);
        if (index != GL_INVALID_INDEX) f.glUniformBlockBinding(p.programId(), index, b.binding);
    }
    p.bind();
    p.setUniformValue("solarSource", 0);
    p.setUniformValue("solarBloom", 1);
    p.setUniformValue("solarMotes", 2);
    p.release();
}
}  // namespace

DropGraphics& DropGraphics::shared() {
    static DropGraphics set;
    return set;
}

DropGraphics::~DropGraphics() {
    // After the application object the window system is gone and no context can be made
    // current: the process is ending, what the driver holds goes with it.
    if (!QGuiApplication::instance() || !context_ || !surface_ || !context_->makeCurrent(surface_.get())) {
        (void)motes_.release();
        (void)grace_.release();
        (void)blur_.release();
        (void)composite_.release();
        (void)water_.release();
        (void)context_.release();
        (void)surface_.release();
        return;
    }
    motes_.reset();
    grace_.reset();
    blur_.reset();
    composite_.reset();
    water_.reset();
    context_->doneCurrent();
}

void DropGraphics::switchOffForTesting(bool off) {
    switchedOff = off;
    // The next use tries again under the new switch.
    shared().attempted_ = false;
    shared().ok_ = false;
}

bool DropGraphics::ready() {
    if (!attempted_) {
        attempted_ = true;
        ok_ = make();
    }
    return ok_;
}

bool DropGraphics::makeCurrent() { return ready() && context_->makeCurrent(surface_.get()); }

void DropGraphics::fail(const QString& line) {
    logLine(line);
    motes_.reset();
    grace_.reset();
    blur_.reset();
    composite_.reset();
    water_.reset();
    if (context_) context_->doneCurrent();
}

bool DropGraphics::make() {
    const QString noGl = QStringLiteral("капля: OpenGL недоступен - верхнее присутствие выключено");
    if (switchedOff) {
        logLine(noGl);
        return false;
    }
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(Gl::coreFormat());
    surface_ = std::make_unique<QOffscreenSurface>();
    surface_->setFormat(Gl::coreFormat());
    surface_->create();
    const QSurfaceFormat got = context_->create() ? context_->format() : QSurfaceFormat();
    if (!context_->isValid() || got.version() < qMakePair(3, 3) || !surface_->isValid() ||
        !context_->makeCurrent(surface_.get())) {
        logLine(noGl);
        return false;
    }
    QFile file(Bundle::resourcePath(QStringLiteral("shaders/solar.glsl")));
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("капля: шейдер не собрался - нет файла ") + file.fileName());
        return false;
    }
    const QString source = QString::fromUtf8(file.readAll());
    const QString vertex = Gl::withHeader(source, {QStringLiteral("SOLAR_VERTEX")});
    const QString moteVertex = Gl::withHeader(source, {QStringLiteral("SOLAR_MOTE_VERTEX")});
    QString log;
    for (auto [slot, define] : {std::pair{&motes_, "SOLAR_MOTES"}, std::pair{&grace_, "SOLAR_GRACE"},
                                std::pair{&blur_, "SOLAR_BLUR"}, std::pair{&composite_, "SOLAR_COMPOSITE"}}) {
        *slot = Gl::buildProgram(slot == &motes_ ? moteVertex : vertex,
                                 Gl::withHeader(source, {QString::fromLatin1(define)}), &log);
        if (!*slot) {
            fail(QStringLiteral("капля: шейдер не собрался - ") + log);
            return false;
        }
        bindBlocks(**slot);
    }
    water_ = Gl::buildProgram(QString::fromLatin1(DROP_VERTEX_GLSL), Gl::withHeader(DROP_MSL(), {}), &log);
    if (!water_) {
        fail(QStringLiteral("капля: шейдер не собрался - ") + log);
        return false;
    }
    auto& f = gl();
    f.glUniformBlockBinding(water_->programId(), f.glGetUniformBlockIndex(water_->programId(), "U"), WATER_BLOCK);
    context_->doneCurrent();
    return true;
}

SolarPasses::SolarPasses() {
    auto& f = gl();
    f.glGenBuffers(3, buffers_);
    f.glGenSamplers(1, &sampler_);
    f.glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f.glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Clamp to zero: outside the texture is transparent black.
    f.glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    f.glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    const GLfloat zero[4] = {0, 0, 0, 0};
    f.glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, zero);
}

SolarPasses::~SolarPasses() {
    if (!QOpenGLContext::currentContext()) return;
    gl().glDeleteBuffers(3, buffers_);
    gl().glDeleteSamplers(1, &sampler_);
}

bool SolarPasses::ensureTargets(QSize size) {
    const QSize half(std::max(1, size.width() / 2), std::max(1, size.height() / 2));
    if (scene_.valid() && scene_.size() == size && bloomA_.valid() && bloomA_.size() == half) return true;
    return scene_.create(size, Gl::TargetFormat::rgba16f) && motes_.create(size, Gl::TargetFormat::rgba16f) &&
           bloomA_.create(half, Gl::TargetFormat::rgba16f) &&
           bloomB_.create(half, Gl::TargetFormat::rgba16f);
}

void SolarPasses::pass(QOpenGLShaderProgram* program, GLuint block, const void* data, int bytes) {
    auto& f = gl();
    f.glBindBuffer(GL_UNIFORM_BUFFER, buffers_[block]);
    // std140 rounds a block up to 16 bytes.
    const int padded = (bytes + 15) / 16 * 16;
    f.glBufferData(GL_UNIFORM_BUFFER, padded, nullptr, GL_STREAM_DRAW);
    f.glBufferSubData(GL_UNIFORM_BUFFER, 0, bytes, data);
    f.glBindBufferBase(GL_UNIFORM_BUFFER, block, buffers_[block]);
    f.glDisable(GL_BLEND);
    f.glDisable(GL_DEPTH_TEST);
    f.glClearColor(0, 0, 0, 0);
    f.glClear(GL_COLOR_BUFFER_BIT);
    program->bind();
    triangle_.draw();
    program->release();
}

bool SolarPasses::renderScene(const SolarUniforms& uniforms, QSize size) {
    DropGraphics& set = DropGraphics::shared();
    if (!set.ready() || size.width() <= 0 || size.height() <= 0 || !ensureTargets(size)) return false;
    SolarUniforms u = uniforms;
    u.resW = float(size.width());
    u.resH = float(size.height());
    auto& f = gl();
    // The motes: each one's quad added into its own target.
    motes_.bind();
    f.glClearColor(0, 0, 0, 0);
    f.glClear(GL_COLOR_BUFFER_BIT);
    f.glBindBuffer(GL_UNIFORM_BUFFER, buffers_[SCENE_BLOCK]);
    f.glBufferData(GL_UNIFORM_BUFFER, (sizeof u + 15) / 16 * 16, nullptr, GL_STREAM_DRAW);
    f.glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof u, &u);
    f.glBindBufferBase(GL_UNIFORM_BUFFER, SCENE_BLOCK, buffers_[SCENE_BLOCK]);
    f.glEnable(GL_BLEND);
    f.glBlendFunc(GL_ONE, GL_ONE);
    set.motes()->bind();
    triangle_.drawInstanced(6, 80);
    set.motes()->release();
    f.glDisable(GL_BLEND);

    scene_.bind();
    f.glActiveTexture(GL_TEXTURE2);
    f.glBindTexture(GL_TEXTURE_2D, motes_.texture());
    pass(set.grace(), SCENE_BLOCK, &u, sizeof u);
    f.glBindTexture(GL_TEXTURE_2D, 0);
    f.glActiveTexture(GL_TEXTURE0);
    return true;
}

bool SolarPasses::render(const SolarUniforms& u, bool cloud, GLuint target, QSize size) {
    if (!renderScene(u, size)) return false;
    DropGraphics& set = DropGraphics::shared();
    auto& f = gl();
    f.glBindSampler(0, sampler_);
    f.glBindSampler(1, sampler_);

    bloomA_.bind();
    f.glActiveTexture(GL_TEXTURE0);
    f.glBindTexture(GL_TEXTURE_2D, scene_.texture());
    const SolarBlurUniforms first{1.0f / scene_.size().width(), 1.0f / scene_.size().height(), 2.8f, 0.08f};
    pass(set.blur(), BLUR_BLOCK, &first, sizeof first);

    bloomB_.bind();
    f.glBindTexture(GL_TEXTURE_2D, bloomA_.texture());
    const SolarBlurUniforms second{1.0f / bloomA_.size().width(), 1.0f / bloomA_.size().height(), 5.2f, 0.0f};
    pass(set.blur(), BLUR_BLOCK, &second, sizeof second);

    f.glBindFramebuffer(GL_FRAMEBUFFER, target);
    f.glViewport(0, 0, size.width(), size.height());
    f.glBindTexture(GL_TEXTURE_2D, scene_.texture());
    f.glActiveTexture(GL_TEXTURE1);
    f.glBindTexture(GL_TEXTURE_2D, bloomB_.texture());
    const SolarCompositeUniforms composite{0.96f, 1.08f, cloud ? 1.0f : 0.0f, 0.0f};
    pass(set.composite(), COMPOSITE_BLOCK, &composite, sizeof composite);

    f.glBindTexture(GL_TEXTURE_2D, 0);
    f.glActiveTexture(GL_TEXTURE0);
    f.glBindTexture(GL_TEXTURE_2D, 0);
    f.glBindSampler(0, 0);
    f.glBindSampler(1, 0);
    return true;
}

}  // namespace murmelo
