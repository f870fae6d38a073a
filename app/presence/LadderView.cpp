#include "presence/LadderView.h"

#include "platform/MainQueue.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace murmelo {

StepColor stepColor(int i, const LadderTone& tone, double lit) {
    const double w = STEP_WEIGHTS[size_t(i)] * (lit * 0.55 + 0.45);
    StepColor c{};
    for (int k = 0; k < 3; ++k) c[size_t(k)] = BASE_DARK[size_t(k)] + w * (tone[size_t(k)] - BASE_DARK[size_t(k)]);
    c[3] = 1;
    return c;
}

LadderTone mix3(const LadderTone& a, const LadderTone& b, double x) {
    return {a[0] + (b[0] - a[0]) * x, a[1] + (b[1] - a[1]) * x, a[2] + (b[2] - a[2]) * x};
}

LadderGeometry::LadderGeometry(double notchW, double barH, double margin) {
    s = barH / LAB_H;
    ext = LAB_EXT * s;
    sw = ext / 5;
    for (size_t j = 0; j < 5; ++j) d[j] = LAB_STEPS[j] * s;
    r = std::min(0.45 * sw, 5 * s);
    xL = margin + ext;
    xR = xL + notchW;
    right = xR + ext;
    const double inset = s + LAB_CORNER * s;
    glowX0 = xL + inset;
    glowX1 = xR - inset;
    glowTop = barH;
    glowBottom = barH + 2.2 * s;
    glowRadius = std::min(0.8 * 2.2 * s, 1.3 * s);
}

namespace {
const StepColor START{14, 16, 20, 0.5};
constexpr double FRAME = 1.0 / 60;

QColor qcolor(const StepColor& c) { return QColor::fromRgbF(float(c[0] / 255), float(c[1] / 255), float(c[2] / 255), float(c[3])); }
}  // namespace

LadderView::LadderView(QWidget* parent) : QWidget(parent) {
    cur_.fill(START);
    tgt_.fill(START);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(sizeHint());
}

LadderView::~LadderView() { teardown(); }

QSize LadderView::sizeHint() const {
    const LadderGeometry g(notchW, barH, margin);
    // Room for the body's shadow below the deepest step and the glow bar.
    return QSize(int(std::ceil(g.right + margin)), int(std::ceil(g.glowBottom + 5 * g.s)));
}

void LadderView::target(const LadderTone& tone, const std::array<double, 5>& lit, double midLit) {
    for (int i = 0; i < 5; ++i) tgt_[size_t(i)] = stepColor(i, tone, lit[size_t(i)]);
    tgtMid_ = stepColor(3, tone, midLit);
}

void LadderView::set(LadderState state) {
    // A repeated live keeps the running level and blend.
    if (state == LadderState::live && state_ == LadderState::live) return;
    state_ = state;
    stateT_ = 0;
    cascade_ = state == LadderState::live;
    clock_ = 0;
    if (state == LadderState::live) level_ = voiceMix_ = 0;
    LadderTone tone = TONE_REST;
    if (state == LadderState::error) tone = TONE_ERROR;
    else if (state == LadderState::live) tone = mix3(TONE_LISTEN, TONE_SPEAK, voiceMix_);
    target(tone, {1, 1, 1, 1, 1}, 1);
    startAnim();
}

void LadderView::startAnim() {
    if (!link_) {
        link_ = new QTimer(this);
        link_->setInterval(16);
        connect(link_, &QTimer::timeout, this, &LadderView::tick);
    }
    link_->start();
    lastTick_ = 0;
}

void LadderView::teardown() {
    if (!link_) return;
    link_->stop();
    delete link_;
    link_ = nullptr;
}

bool LadderView::animating() const { return link_ && link_->isActive(); }

void LadderView::tick() {
    const double now = Clock::shared().uptime();
    const double dt = lastTick_ == 0 ? FRAME : std::min(now - lastTick_, 0.05);
    lastTick_ = now;
    advance(dt);
}

void LadderView::advance(double dt) {
    t_ += dt;
    stateT_ += dt;
    clock_ += dt;
    switch (state_) {
    case LadderState::rest: break;
    case LadderState::live: {
        const double L = inputLevel ? std::clamp(inputLevel(), 0.0, 1.0) : 0.0;
        level_ += (L - level_) * 0.28;
        const double v = level_ > 0.05 ? 1 : 0;
        voiceMix_ += (v - voiceMix_) * (voiceMix_ < v ? 0.16 : 0.05);
        std::array<double, 5> lit{};
        for (int i = 0; i < 5; ++i) lit[size_t(i)] = 1 - voiceMix_ * (1 - std::clamp(level_ * 6 - i, 0.0, 1.0));
        target(mix3(TONE_LISTEN, TONE_SPEAK, voiceMix_), lit, 1 - voiceMix_ * (1 - std::clamp(level_ * 6 - 3, 0.0, 1.0)));
        break;
    }
    case LadderState::think: {
        std::array<double, 5> lit{};
        for (int i = 0; i < 5; ++i) lit[size_t(i)] = 0.8 + 0.25 * std::sin(2.1 * t_ - 0.9 * i);
        target(TONE_REST, lit, 0.8 + 0.25 * std::sin(2.1 * t_ - 2));
        break;
    }
    case LadderState::error:
        if (stateT_ < 1.4) {
            const double lit =
                std::min(0.55 + 0.45 * std::exp(-2.6 * stateT_) * std::abs(std::sin(2.6 * M_PI * stateT_)), 1.0);
            target(TONE_ERROR, {lit, lit, lit, lit, lit}, lit);
        }
        break;
    }
    const double k = std::min(7 * dt, 1.0);
    bool changed = false;
    const auto approach = [&](StepColor& c, const StepColor& g) {
        for (size_t n = 0; n < 4; ++n) {
            if (std::abs(g[n] - c[n]) > 0.002) {
                c[n] += k * (g[n] - c[n]);
                changed = true;
            }
        }
    };
    for (int i = 0; i < 5; ++i) {
        const double delay = cascade_ ? (4 - i) * 0.045 : 0;
        if (delay > clock_) continue;
        approach(cur_[size_t(i)], tgt_[size_t(i)]);
    }
    if (!(cascade_ && 5 * 0.045 > clock_)) approach(curMid_, tgtMid_);
    if (changed) update();
    else if (state_ == LadderState::rest && link_) link_->stop();  // paused; the next set resumes it
}

void LadderView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    render(p);
}

void LadderView::render(QPainter& p) const {
    const LadderGeometry g(notchW, barH, margin);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.moveTo(margin, 0);
    outline.lineTo(g.right, 0);
    for (int j = 4; j >= 0; --j) {
        const double x = g.xR + (j + 1) * g.sw;
        outline.lineTo(x, g.d[size_t(j)] - g.r);
        outline.quadTo(x, g.d[size_t(j)], x - g.r, g.d[size_t(j)]);
        outline.lineTo(g.xR + j * g.sw, g.d[size_t(j)]);
    }
    outline.lineTo(g.xL, g.d[0]);
    for (int j = 0; j <= 4; ++j) {
        const double x = g.xL - (j + 1) * g.sw;
        outline.lineTo(g.xL - j * g.sw, g.d[size_t(j)]);
        outline.lineTo(x + g.r, g.d[size_t(j)]);
        outline.quadTo(x, g.d[size_t(j)], x, g.d[size_t(j)] - g.r);
        outline.lineTo(x, j < 4 ? g.d[size_t(j + 1)] : 0);
    }
    outline.closeSubpath();
    outline.setFillRule(Qt::WindingFill);
    // Body (without the platform's shadow, which QPainter does not draw).
    p.fillPath(outline, qcolor(cur_[0]));

    // Hard colour stops: each step its own colour on both sides, the notch part step 0's.
    const double span = g.right - margin;
    const auto at = [&](double x) { return std::clamp((x - margin) / span, 0.0, 1.0); };
    QLinearGradient grad(QPointF(margin, 0), QPointF(g.right, 0));
    grad.setColorAt(0, qcolor(cur_[4]));
    for (int j = 4; j >= 1; --j) {
        const double x = at(g.xL - j * g.sw);
        grad.setColorAt(x, qcolor(cur_[size_t(j)]));
        grad.setColorAt(std::nextafter(x, 1.0), qcolor(cur_[size_t(j - 1)]));
    }
    grad.setColorAt(at(g.xL), qcolor(cur_[0]));
    grad.setColorAt(at(g.xR), qcolor(cur_[0]));
    for (int j = 1; j <= 4; ++j) {
        const double x = at(g.xR + j * g.sw);
        grad.setColorAt(x, qcolor(cur_[size_t(j - 1)]));
        grad.setColorAt(std::nextafter(x, 1.0), qcolor(cur_[size_t(j)]));
    }
    grad.setColorAt(1, qcolor(cur_[4]));
    p.fillPath(outline, grad);

    QPainterPath glow;
    const double q = g.glowRadius;
    glow.moveTo(g.glowX0, g.glowTop);
    glow.lineTo(g.glowX1, g.glowTop);
    glow.lineTo(g.glowX1, g.glowBottom - q);
    glow.quadTo(g.glowX1, g.glowBottom, g.glowX1 - q, g.glowBottom);
    glow.lineTo(g.glowX0 + q, g.glowBottom);
    glow.quadTo(g.glowX0, g.glowBottom, g.glowX0, g.glowBottom - q);
    glow.closeSubpath();
    p.fillPath(glow, qcolor(curMid_));
    QLinearGradient mid(QPointF(g.glowX0, 0), QPointF(g.glowX1, 0));
    mid.setColorAt(0, qcolor(cur_[0]));
    mid.setColorAt(0.5, qcolor(curMid_));
    mid.setColorAt(1, qcolor(cur_[0]));
    p.fillPath(glow, mid);
}

}  // namespace murmelo
