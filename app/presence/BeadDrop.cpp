#include "presence/BeadDrop.h"

#include "base/Log.h"
#include "presence/DropMotion.h"
#include "presence/WaterShader.h"
#include "ui/GlHelper.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QScreen>
#include <QThread>
#include <QThreadPool>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace murmelo {

const char* const BEAD_GEOMETRY = R"GLSL(const vec3 ABSORB = vec3(0.42, 0.20, 0.11);
const float BEAD_R = 34.0 * PXR;
const float BEAD_CY = YBAR + 4.0 * PXR;

// A sphere with the drop's resting tremor: without it the water would look like a glass marble.
float mapDrop(vec3 p) {
    float t = u.time;
    vec3 n = normalize(p - vec3(0.0, BEAD_CY, 0.0));
    return length(p - vec3(0.0, BEAD_CY, 0.0)) - BEAD_R -
           0.55 * PXR * u.lv * (0.5 * sin(3.0 * n.x + 3.9 * t) * sin(2.4 * n.y - 3.1 * t) + 0.3 * sin(3.6 * n.z + 4.3 * t));
}
)GLSL";

namespace {

const char* const BEAD_MAIN = R"GLSL(out vec4 fragColor;

void main() {
    vec3 sum = vec3(0.0);
    float covered = 0.0;
    float pxw = BEAD_PXS / (u.scale * float(BEAD_SS));
    vec3 centre = vec3(0.0, BEAD_CY, 0.0);
    float R = 1.35 * BEAD_R;
    // Pixel centres, from the top-left with y down.
    vec2 pixel = vec2(gl_FragCoord.x, u.resH - gl_FragCoord.y);
    for (int sy = 0; sy < BEAD_SS; ++sy) {
        for (int sx = 0; sx < BEAD_SS; ++sx) {
            vec2 offset = (vec2(float(sx), float(sy)) + 0.5) / float(BEAD_SS) - 0.5;
            vec2 pt = (pixel + offset) / u.scale;
            float wx = (pt.x - u.resW / (2.0 * u.scale)) * BEAD_PXS;
            float wy = BEAD_CY + (u.resH / (2.0 * u.scale) - pt.y) * BEAD_PXS;
            vec3 ro = vec3(0.0, 0.0, 30.0);
            vec3 rd = normalize(vec3(wx / 1.3953, wy / 1.3953, -21.5));
            vec3 p;
            float coverage = marchDrop(ro, rd, centre, R, pxw, p);
            if (coverage > 0.0) {
                sum += shadeWater(p, normDrop(p), rd) * coverage;
                covered += coverage;
            }
        }
    }
    float n = float(BEAD_SS * BEAD_SS);
    float alpha = covered / n;
    if (alpha <= 0.0) {
        fragColor = vec4(0.0);
        return;
    }
    vec3 col = sqrt(aces(1.30 * ((sum / n) / alpha)));
    fragColor = vec4(col * alpha, alpha);
}
)GLSL";

// The number as the platform prints a double by default: 31 gives "31.0".
QString defaultDecimal(double value) {
    QString s = QString::number(value, 'g', 17);
    // The shortest text that reads back the same.
    for (int precision = 1; precision <= 17; ++precision) {
        const QString t = QString::number(value, 'g', precision);
        if (t.toDouble() == value) {
            s = t;
            break;
        }
    }
    if (!s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e'))) s += QStringLiteral(".0");
    return s;
}

// Everything the render thread owns; touched only on that thread.
struct Gpu {
    std::unique_ptr<QOpenGLContext> context;
    std::map<QString, std::unique_ptr<QOpenGLShaderProgram>> pipelines;
};

struct State {
    std::recursive_mutex lock;  // the cache, and one caller rendering at a time
    QHash<QString, QImage> images;
    std::mutex surfaceLock;
    QOffscreenSurface* surface = nullptr;  // made on the main thread
    QThread* thread = nullptr;
    QObject* worker = nullptr;  // lives on the render thread
    Gpu gpu;
    bool attempted = false;     // render thread only
    bool available = false;     // render thread only
    bool switchedOff = false;
    bool stopped = false;       // under surfaceLock
};

State& state() {
    static State* s = new State;  // the render thread may outlive static destruction order
    return *s;
}

void stopThread() {
    State& s = state();
    // A render in progress ends first; later calls find no thread and give none.
    std::lock_guard cache(s.lock);
    {
        std::lock_guard guard(s.surfaceLock);
        s.stopped = true;
    }
    if (!s.thread) return;
    s.thread->quit();
    s.thread->wait();
    // The process is ending: what the driver holds goes with it.
    (void)s.gpu.context.release();
    for (auto& [key, program] : s.gpu.pipelines) (void)program.release();
    delete s.thread;
    s.thread = nullptr;
    s.worker = nullptr;
}

// Qt makes an offscreen surface only on the GUI thread.
QOffscreenSurface* surface() {
    State& s = state();
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return nullptr;
    {
        std::lock_guard guard(s.surfaceLock);
        if (s.surface) return s.surface;
    }
    auto make = [&s] {
        std::lock_guard guard(s.surfaceLock);
        if (s.surface) return;
        s.surface = new QOffscreenSurface;
        s.surface->setFormat(Gl::coreFormat());
        s.surface->create();
    };
    if (QThread::currentThread() == app->thread())
        make();
    else
        QMetaObject::invokeMethod(app, make, Qt::BlockingQueuedConnection);
    std::lock_guard guard(s.surfaceLock);
    return s.surface;
}

// Runs fn on the render thread and waits for it; false when the process is ending. The render
// thread itself never takes the cache lock, so a caller holding it cannot block the thread.
template <class Fn>
bool onRenderThread(Fn fn) {
    State& s = state();
    {
        std::lock_guard guard(s.surfaceLock);
        if (s.stopped) return false;
        if (!s.thread) {
            s.thread = new QThread;
            s.thread->setObjectName(QStringLiteral("bead"));
            s.worker = new QObject;
            s.worker->moveToThread(s.thread);
            QObject::connect(s.thread, &QThread::finished, s.worker, &QObject::deleteLater);
            s.thread->start(QThread::LowPriority);
            qAddPostRoutine(stopThread);
        }
    }
    QMetaObject::invokeMethod(s.worker, fn, Qt::BlockingQueuedConnection);
    return true;
}

// On the render thread: the context current, once made; false without one (logged once).
bool makeCurrent(QOffscreenSurface* target) {
    State& s = state();
    if (!s.attempted) {
        s.attempted = true;
        s.gpu.context = std::make_unique<QOpenGLContext>();
        s.gpu.context->setFormat(Gl::coreFormat());
        s.available = !s.switchedOff && target && target->isValid() && s.gpu.context->create() &&
                      s.gpu.context->format().version() >= qMakePair(3, 3) && s.gpu.context->makeCurrent(target);
        if (!s.available) {
            s.gpu.context.reset();
            logLine(QStringLiteral("бусина: OpenGL недоступен - остаётся рисованная"));
        }
        return s.available;
    }
    return s.available && s.gpu.context->makeCurrent(target);
}

QOpenGLShaderProgram* pipeline(double bodyPt, int samples, const QString& geometry) {
    State& s = state();
    const QString key = defaultDecimal(bodyPt) + QLatin1Char('/') + QString::number(samples) + QLatin1Char('/') +
                        QString::number(qHash(geometry));
    if (auto found = s.gpu.pipelines.find(key); found != s.gpu.pipelines.end()) return found->second.get();
    QString log;
    auto program = Gl::buildProgram(QString::fromLatin1(DROP_VERTEX_GLSL),
                                    Gl::withHeader(beadMSL(bodyPt, samples, geometry), {}), &log);
    if (!program) {
        // Nothing is kept: the next call tries again.
        logLine(QStringLiteral("бусина: шейдер не собрался - ") + log);
        return nullptr;
    }
    auto& f = *QOpenGLContext::currentContext()->extraFunctions();
    f.glUniformBlockBinding(program->programId(), f.glGetUniformBlockIndex(program->programId(), "U"), 0);
    return (s.gpu.pipelines[key] = std::move(program)).get();
}

QImage renderHere(double boxPt, double bodyPt, double scale, int samples, const QString& geometry, float time,
                  float lv, QOffscreenSurface* target) {
    if (!makeCurrent(target)) return {};
    QOpenGLShaderProgram* program = pipeline(bodyPt, samples, geometry);
    if (!program) return {};
    const int px = BeadDrop::pixelSize(boxPt, scale);
    if (px <= 0) return {};
    auto& f = *QOpenGLContext::currentContext()->extraFunctions();
    Gl::RenderTarget out;
    if (!out.create(QSize(px, px), Gl::TargetFormat::rgba8)) return {};
    DropUniforms u;
    u.resW = float(px);
    u.resH = float(px);
    u.scale = float(scale);
    u.time = time;
    u.lv = lv;
    u.lvF = 0;
    u.emerge = 1;
    u.str = 0;
    u.recog = 0;
    u.recT = 0;
    GLuint buffer = 0;
    f.glGenBuffers(1, &buffer);
    f.glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    f.glBufferData(GL_UNIFORM_BUFFER, sizeof u, &u, GL_STATIC_DRAW);
    f.glBindBufferBase(GL_UNIFORM_BUFFER, 0, buffer);
    out.bind();
    f.glDisable(GL_BLEND);
    f.glClearColor(0, 0, 0, 0);
    f.glClear(GL_COLOR_BUFFER_BIT);
    program->bind();
    {
        Gl::FullScreenTriangle triangle;
        triangle.draw();
    }
    program->release();
    QImage image = out.read();
    f.glDeleteBuffers(1, &buffer);
    if (image.isNull()) return {};
    // The shader wrote premultiplied colour.
    image.reinterpretAsFormat(QImage::Format_RGBA8888_Premultiplied);
    return image;
}

}  // namespace

QString beadMSL(double bodyPt, int samples, const QString& geometry) {
    const QString entry = QStringLiteral(
                              "// The bead's entry: a projection of its own, centred on the sphere, and\n"
                              "// BEAD_SS x BEAD_SS sub-samples per pixel averaged in linear light.\n"
                              "const float BEAD_PXS = 2.0 * BEAD_R / %1;\n"
                              "const int BEAD_SS = %2;\n")
                              .arg(defaultDecimal(bodyPt))
                              .arg(samples) +
                          QString::fromLatin1(BEAD_MAIN);
    return DROP_MSL_HEAD() + QLatin1Char('\n') + geometry + QLatin1Char('\n') + QString::fromLatin1(DROP_MSL_SHADE) +
           QLatin1Char('\n') + entry;
}

namespace BeadDrop {

int pixelSize(double boxPt, double scale) { return int(std::round(boxPt * scale)); }

QImage render(double boxPt, double bodyPt, double scale, int samples, const QString& geometry, float time, float lv) {
    QOffscreenSurface* target = surface();
    QImage image;
    onRenderThread([&] { image = renderHere(boxPt, bodyPt, scale, samples, geometry, time, lv, target); });
    return image;
}

QImage image(double scale) {
    State& s = state();
    // The surface first: making it may need the main thread, which may be waiting for the lock.
    surface();
    std::lock_guard guard(s.lock);
    const QString key = QStringLiteral("img/") + defaultDecimal(scale);
    if (auto found = s.images.constFind(key); found != s.images.constEnd()) return *found;
    QImage image = render(BEAD_BOX_PT, BEAD_BODY_PT, scale, BEAD_SAMPLES, QString::fromLatin1(BEAD_GEOMETRY),
                          BEAD_TIME, 0.05f);
    if (image.isNull()) return {};
    image.setDevicePixelRatio(scale);
    s.images.insert(key, image);
    return image;
}

QList<double> prewarmScales(const QList<double>& screenScales) {
    QList<double> scales;
    for (double scale : screenScales)
        if (!scales.contains(scale)) scales << scale;
    return scales;
}

void prewarm() {
    QList<double> screens;
    for (QScreen* screen : QGuiApplication::screens()) screens << screen->devicePixelRatio();
    const QList<double> scales = prewarmScales(screens);
    surface();
    // Off the main thread: the compile and the first renders are the slow part.
    QThreadPool::globalInstance()->start([scales] {
        for (double scale : scales) (void)image(scale);
    });
}

void switchOffForTesting(bool off) {
    State& s = state();
    std::lock_guard guard(s.lock);
    s.images.clear();
    onRenderThread([&s, off] {
        s.switchedOff = off;
        s.attempted = false;
        s.available = false;
        if (s.gpu.context && s.surface && s.gpu.context->makeCurrent(s.surface)) {
            s.gpu.pipelines.clear();
            s.gpu.context->doneCurrent();
        }
        s.gpu.pipelines.clear();
        s.gpu.context.reset();
    });
}

}  // namespace BeadDrop

}  // namespace murmelo
