#include "presence/DropRenderer.h"

#include "base/Log.h"
#include "diagnostics/MainStallWatch.h"
#include "ui/ReduceMotion.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace murmelo {

namespace {
double mediaTime() { return Clock::shared().uptime(); }
}  // namespace

DropRenderer::DropRenderer(const DropRenderTransform& transform, std::function<double()> micLevel)
    : renderTransform_(transform), micLevel_(std::move(micLevel)) {
    solarCalibration_ = qgetenv("MURMELO_SOLAR_CALIBRATION") == "1";
    t0_ = mediaTime();
}

DropRenderer::~DropRenderer() {
    idleBeat_.cancel();
    frame_.cancel();
}

void DropRenderer::configureCorner(DropPlacement, double backingScaleFactor) {
    cornerMotion_ = true;
    cornerBackingScaleFactor_ = backingScaleFactor;
}

void DropRenderer::configureSolarCorner(DropPlacement placement) {
    solarMode_ = true;
    solarEdgeSide_ = placement == DropPlacement::bottomLeft ? 1.0f : -1.0f;
}

void DropRenderer::configureSolarTop() {
    solarMode_ = true;
    solarEdgeSide_ = 0;
}

void DropRenderer::set(DropState state, bool particleOnly, bool cloud) {
    if (particleOnly != solarParticleOnly_) {
        solarParticleOnly_ = particleOnly;
        cloudMode_ = cloud;
        if (state == state_) {
            startAnim();
            return;
        }
    } else if (state == state_) {
        if (cloud == cloudMode_) return;
        cloudMode_ = cloud;
        startAnim();
        return;
    } else {
        cloudMode_ = cloud;
    }
    const double now = mediaTime();
    switch (state) {
    case DropState::recording:
        solarReturnLatched_ = 0;
        if (state_ == DropState::idle) level_ = levelFast_ = 0;
        targetE_ = 1;
        break;
    case DropState::recognizing:
        solarReturnLatched_ = 1;
        recogStart_ = now;
        recogReveal_ = E_;
        recogVoice_ = levelFast_;
        targetE_ = 1;
        break;
    case DropState::succeeded:
        successStart_ = now;
        targetE_ = 0;
        break;
    case DropState::idle: targetE_ = 0; break;
    }
    state_ = state;
    startAnim();
}

void DropRenderer::startAnim() {
    idleBeat_.cancel();
    frame_.cancel();
    linkRunning_ = true;
    linkPaused_ = false;
    lastTick_ = 0;
    tick();
    scheduleFrame();
}

void DropRenderer::stopAnim() {
    idleBeat_.cancel();
    linkPaused_ = true;
    frame_.cancel();
}

void DropRenderer::teardown() {
    idleBeat_.cancel();
    frame_.cancel();
    linkRunning_ = false;
}

void DropRenderer::pauseLink() {
    linkPaused_ = true;
    frame_.cancel();
}

void DropRenderer::scheduleFrame() {
    if (!frameClockRunning() || frame_.isPending()) return;
    frame_ = MainQueue::shared().after(FRAME_INTERVAL, [this] {
        tick();
        scheduleFrame();
    });
}

void DropRenderer::occlusionChanged(bool visible) {
    if (visible == wasVisible_) return;
    wasVisible_ = visible;
    if (visible) {
        lastTick_ = 0;
        scheduleFrame();
    } else {
        frame_.cancel();
    }
}

void DropRenderer::tick() {
    const double now = mediaTime();
    const double dt = lastTick_ == 0 ? 1.0 / 60 : std::min(now - lastTick_, 0.05);
    lastTick_ = now;

    double v = 0;
    if (state_ == DropState::recording) v = solarMode_ && solarCalibration_ ? 0.24 : (micLevel_ ? micLevel_() : 0);
    level_ += (v - level_) * (1 - std::pow(0.72, 60 * dt));
    const double breath = (std::sin(1.15 * (now - t0_)) * 0.5 + 0.5) * 0.1;
    const double shown = std::max(level_, breath);
    levelFast_ = std::max(v, levelFast_ * std::exp(-9 * dt));

    if (solarMode_) {
        std::tie(E_, EV_) = SolarPresenceMotion::step(E_, EV_, targetE_, dt, reduceMotion());
        str_ = strv_ = 0;
    } else if (cornerMotion_) {
        const double w = DropMotion::CORNER_OMEGA;
        EV_ += ((targetE_ - E_) * w * w - 2 * w * EV_) * dt;
        E_ = std::clamp(E_ + EV_ * dt, 0.0, 1.0);
        str_ = DropMotion::cornerShapeStr(E_);
        strv_ = 0;
    } else {
        double k = 28, c = 10.5;
        if (targetE_ > E_ + 0.001) {
            const double t = std::min(2.2 * levelFast_, 1.0);
            k = 64 + 1056 * t;
            c = 2 * std::sqrt(k) * (1 - 0.25 * t);
        }
        EV_ += ((targetE_ - E_) * k - c * EV_) * dt;
        E_ = std::clamp(E_ + EV_ * dt, -0.02, 1.18);
        const double drive = E_ < 0.86 && targetE_ > 0.5 ? 1 : 0;
        strv_ += ((drive - str_) * 160 - 8 * strv_) * dt;
        str_ = std::clamp(str_ + strv_ * dt, -0.45, 1.15);
    }

    const double recogTarget = state_ == DropState::recognizing ? 1 : 0;
    recogA_ += (recogTarget - recogA_) * (1 - std::exp(-(recogTarget > 0 ? 16 : 6) * dt));
    const double successTarget = state_ == DropState::succeeded ? 1 : 0;
    successA_ += (successTarget - successA_) * (1 - std::exp(-(successTarget > 0 ? 18 : 10) * dt));

    // A view that cannot draw would tick for nothing at every refresh: it rests until the next
    // state request instead.
    if (!canDraw()) {
        pauseLink();
        return;
    }
    const bool submitted = draw(now, shown);
    if (DropMotion::mayPauseIdle(DropMotion::settledInIdle(state_, E_, EV_, recogA_, successA_), submitted)) {
        pauseLink();
        idleAt_ = now;
        idleLv_ = shown;
        if (!idleBeat_.isPending()) beat();
    }
}

void DropRenderer::beat() {
    idleBeat_ = MainQueue::shared().after(IDLE_BEAT, [this] {
        if (windowVisible()) draw(idleAt_, idleLv_);
        beat();
    });
}

bool DropRenderer::draw(double now, double lv) {
    return solarMode_ ? renderSolar(solarUniforms(now)) : render(uniforms(now, lv));
}

DropUniforms DropRenderer::uniforms(double now, double lv) const {
    DropUniforms u;
    u.time = float(now - t0_);
    u.lv = float(lv * (1 - 0.6 * recogA_));
    u.lvF = float(levelFast_ * (1 - 0.8 * recogA_));
    u.emerge = cornerMotion_ ? 1.0f : float(E_);
    u.str = float(str_);
    u.recog = float(recogA_);
    u.recT = float(now - recogStart_);
    u.cloud = cloudMode_ ? 1 : 0;
    u.yTop = float(renderTransform_.sourceAnchor.y());
    u.sourceAnchorX = float(renderTransform_.sourceAnchor.x());
    u.outputAnchorX = float(renderTransform_.outputAnchor.x());
    u.outputAnchorY =
        float(renderTransform_.outputAnchor.y() + (cornerMotion_ ? DropMotion::cornerSinkPoints(E_) : 0.0));
    u.rotationCos = float(std::cos(renderTransform_.rotation));
    u.rotationSin = float(std::sin(renderTransform_.rotation));
    u.mirrorX = float(renderTransform_.mirrorX);
    u.contentScaleX = cornerMotion_ ? float(DropMotion::cornerContentScale(E_)) : 1.0f;
    u.contentScaleY =
        cornerMotion_ ? float(DropMotion::cornerContentScaleY(E_, cornerBackingScaleFactor_)) : 1.0f;
    return u;
}

SolarUniforms DropRenderer::solarUniforms(double now) const {
    SolarUniforms u;
    u.time = float(now - t0_);
    u.level = float(level_);
    u.levelFast = float(levelFast_);
    u.reveal = float(E_);
    u.recognizing = float(recogA_);
    u.returning = float(solarReturnLatched_);
    u.particleOnly = solarParticleOnly_ ? 1 : 0;
    u.recognitionTime = float(std::max(now - recogStart_, 0.0));
    u.recognitionReveal = float(recogReveal_);
    u.recognitionVoice = float(recogVoice_);
    u.success = float(successA_);
    u.successTime = float(std::max(now - successStart_, 0.0));
    u.motion = reduceMotion() ? 0 : 1;
    u.variant = 0;
    u.cloud = cloudMode_ ? 1 : 0;
    u.edgeSide = solarEdgeSide_;
    return u;
}

bool DropRenderer::render(const DropUniforms& u) {
    if (inFlight_ >= DropMotion::MAX_IN_FLIGHT) {
        if (!DropMotion::mayRenderFrame(inFlight_, mediaTime() - lastSubmitAt_)) return false;
        inFlight_ = 0;
        logLine(QStringLiteral("капля: композитор молчал 2 с - счётчик кадров сброшен"));
    }
    MainStallScope stall(QStringLiteral("капля: жду кадр у композитора"));
    if (!submitWater(u)) return false;
    ++inFlight_;
    lastSubmitAt_ = mediaTime();
    return true;
}

bool DropRenderer::renderSolar(const SolarUniforms& u) {
    if (inFlight_ >= DropMotion::MAX_IN_FLIGHT) {
        if (!DropMotion::mayRenderFrame(inFlight_, mediaTime() - lastSubmitAt_)) return false;
        inFlight_ = 0;
        logLine(QStringLiteral("solar presence: compositor stalled, resetting the frame counter"));
    }
    MainStallScope stall(QStringLiteral("solar presence: waiting for compositor frame"));
    if (!submitSolar(u)) return false;
    ++inFlight_;
    lastSubmitAt_ = mediaTime();
    return true;
}

void DropRenderer::presented() { inFlight_ = std::max(0, inFlight_ - 1); }

}  // namespace murmelo
