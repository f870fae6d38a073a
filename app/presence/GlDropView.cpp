#include "presence/GlDropView.h"

#include "presence/SolarPasses.h"
#include "presence/WaterShader.h"

#include <QExposeEvent>
#include <QOpenGLContext>

namespace murmelo {

DropGlWindow::DropGlWindow(GlDropView& owner)
    : QOpenGLWindow(DropGraphics::shared().context(), QOpenGLWindow::NoPartialUpdate), owner_(owner) {
    setFormat(Gl::coreFormat());
    connect(this, &QOpenGLWindow::frameSwapped, this, [this] { owner_.presented(); });
}

DropGlWindow::~DropGlWindow() {
    if (passes_ && context()) {
        makeCurrent();
        passes_.reset();
        water_.reset();
        doneCurrent();
    }
}

void DropGlWindow::initializeGL() {
    passes_ = std::make_unique<SolarPasses>();
    water_ = std::make_unique<WaterPass>();
}

void DropGlWindow::paintGL() {
    const qreal ratio = devicePixelRatio();
    const QSize size(qRound(width() * ratio), qRound(height() * ratio));
    bool drawn = false;
    if (owner_.solarMode()) {
        SolarUniforms u = owner_.frame_;
        u.scale = float(ratio);
        drawn = passes_ && passes_->render(u, owner_.cloudFrame_, defaultFramebufferObject(), size);
    } else {
        DropUniforms u = owner_.waterFrame_;
        u.scale = float(ratio);
        drawn = water_ && water_->render(u, defaultFramebufferObject(), size);
    }
    if (!drawn) {
        auto* f = context()->functions();
        f->glClearColor(0, 0, 0, 0);
        f->glClear(GL_COLOR_BUFFER_BIT);
    }
}

void DropGlWindow::exposeEvent(QExposeEvent* event) {
    QOpenGLWindow::exposeEvent(event);
    owner_.occlusionChanged(isExposed());
}

GlDropView::GlDropView(const DropRenderTransform& transform, OrbDesign design, std::function<double()> micLevel)
    : DropRenderer(transform, std::move(micLevel)), design_(design), window_(std::make_unique<DropGlWindow>(*this)) {}

GlDropView::~GlDropView() { teardown(); }

bool GlDropView::canDraw() const { return DropGraphics::shared().ready(); }

bool GlDropView::submitSolar(const SolarUniforms& u) {
    // An unexposed window has no surface to present to, like a missing drawable.
    if (!window_->isExposed()) return false;
    frame_ = u;
    cloudFrame_ = u.cloud > 0.5f;
    window_->update();
    return true;
}

bool GlDropView::submitWater(const DropUniforms& u) {
    if (!window_->isExposed()) return false;
    waterFrame_ = u;
    window_->update();
    return true;
}

bool GlDropView::windowVisible() const { return window_->isExposed(); }

}  // namespace murmelo
