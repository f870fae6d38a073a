#include "presence/DropPresenceWindows.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Power.h"
#include "presence/Ladder.h"

#include <cmath>

namespace murmelo {

OrbDesign currentOrbDesign() {
    return Defaults::shared().stringValue(QStringLiteral("orbStyle")) == QStringLiteral("water") ? OrbDesign::water
                                                                                                   : OrbDesign::light;
}

// ---- geometry ----

DropRenderTransform DropRenderTransform::top(double overlap, OrbDesign style) {
    DropRenderTransform t;
    t.canvasSize = style == OrbDesign::light ? QSizeF(SOLAR_TOP_W, SOLAR_TOP_H) : QSizeF(DROP_W, DROP_H);
    t.sourceAnchor = t.outputAnchor = QPointF(t.canvasSize.width() / 2, overlap);
    return t;
}

DropRenderTransform DropRenderTransform::corner(DropPlacement placement, OrbDesign style) {
    DropRenderTransform t;
    if (style == OrbDesign::light) {
        t.canvasSize = QSizeF(SOLAR_CORNER_W, SOLAR_CORNER_H);
    } else {
        // The hanging drop turned upside down, so that it rises from the bottom edge.
        t.canvasSize = QSizeF(DROP_W, DROP_H);
        t.sourceAnchor = QPointF(DROP_W / 2, 0);
        t.outputAnchor = QPointF(DROP_W / 2, DROP_H);
        t.rotation = M_PI;
    }
    t.mirrorX = placement == DropPlacement::bottomRight ? -1 : 1;
    return t;
}

double DropRenderTransform::targetPoints(double backingScaleFactor) {
    return DROP_CORNER_VISIBLE_DEVICE_PX / std::max(backingScaleFactor, 1.0);
}

double DropRenderTransform::cornerSideRevealPoints(double backingScaleFactor) {
    return DROP_CORNER_SIDE_REVEAL_DEVICE_PX / std::max(backingScaleFactor, 1.0);
}

double DropRenderTransform::cornerSideOffsetPoints(double backingScaleFactor) {
    return DROP_CORNER_OUTSET_SIDE_PT * (targetPoints(backingScaleFactor) / DROP_CORNER_CALIBRATED_TARGET_PT);
}

QPointF DropRenderTransform::cornerAnchor(DropPlacement placement, const QRectF& screen, double backingScaleFactor) {
    const double side = cornerSideOffsetPoints(backingScaleFactor);
    const double reveal = cornerSideRevealPoints(backingScaleFactor);
    if (placement == DropPlacement::bottomRight) return QPointF(screen.x() + screen.width() + side - reveal, screen.y());
    return QPointF(screen.x() - side + reveal, screen.y());
}

QRectF DropRenderTransform::cornerFrame(DropPlacement placement, const QRectF& screen, double backingScaleFactor,
                                        OrbDesign style) {
    const DropRenderTransform t = corner(placement, style);
    const QSizeF c = t.canvasSize;
    if (style == OrbDesign::light) {
        const double x = placement == DropPlacement::bottomRight ? screen.x() + screen.width() - SOLAR_CORNER_W : screen.x();
        return QRectF(x, screen.y(), c.width(), c.height());
    }
    const QPointF a = cornerAnchor(placement, screen, backingScaleFactor);
    return QRectF(a.x() - t.outputAnchor.x(), a.y() + t.outputAnchor.y() - c.height(), c.width(), c.height());
}

// ---- the recording stand-in ----

RecordingDropView::RecordingDropView() : win(std::make_unique<QWindow>()) {
    QSurfaceFormat format = win->format();
    format.setAlphaBufferSize(8);
    win->setFormat(format);
}

void RecordingDropView::set(DropState state, bool particleOnly, bool cloud) {
    requests.push_back({state, particleOnly, cloud});
}
void RecordingDropView::startAnim() {
    animating = true;
    calls << QStringLiteral("startAnim");
}
void RecordingDropView::stopAnim() {
    animating = false;
    calls << QStringLiteral("stopAnim");
}
void RecordingDropView::teardown() {
    animating = false;
    calls << QStringLiteral("teardown");
}
void RecordingDropView::configureCorner(DropPlacement placement, double backingScaleFactor) {
    calls << QStringLiteral("configureCorner %1 %2").arg(rawValue(placement)).arg(backingScaleFactor);
}
void RecordingDropView::configureSolarCorner(DropPlacement placement) {
    calls << QStringLiteral("configureSolarCorner %1").arg(rawValue(placement));
}
void RecordingDropView::configureSolarTop() { calls << QStringLiteral("configureSolarTop"); }
std::optional<DropState> RecordingDropView::lastState() const {
    if (requests.empty()) return std::nullopt;
    return requests.back().state;
}

// ---- the windows ----

namespace {

bool hasNotch(const ScreenInfo& s) { return s.auxiliaryTopLeftArea && s.auxiliaryTopRightArea; }
double maxY(const QRectF& r) { return r.y() + r.height(); }

// A transparent window above the others that lets every click through to what is below.
void prepareWindow(QWindow& win, bool passesEdge) {
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    // A window manager would push a window that reaches past the screen's edge back inside.
    if (passesEdge) flags |= Qt::X11BypassWindowManagerHint;
    win.setFlags(flags);
    win.setTitle(QStringLiteral("Ondrix"));
}

}  // namespace

DropPresenceWindows::DropPresenceWindows(ViewFactory factory, std::function<bool()> canDraw)
    : factory_(std::move(factory)), canDraw_(std::move(canDraw)) {
    if (!factory_) {
        factory_ = [](const DropRenderTransform& t, OrbDesign) {
            auto view = std::make_unique<RecordingDropView>();
            view->transform = t;
            return view;
        };
    }
    obsScreens_ = Screens::shared().addChangeObserver([this] { rebuildOnChange(); });
    // After sleep the windows are made again, which also restarts the shown views.
    obsWake_ = Power::shared().addWakeObserver([this] { rebuildOnChange(); });
    scheduleWatch();
}

DropPresenceWindows::~DropPresenceWindows() {
    successWork_.cancel();
    barWatch_.cancel();
    Screens::shared().removeChangeObserver(obsScreens_);
    Power::shared().removeWakeObserver(obsWake_);
    putAwaySlots();
}

void DropPresenceWindows::rebuildOnChange() {
    if (hidden_) return;
    WindowBoundsCache::shared().forgetWindowBounds();
    show(placement_);
}

void DropPresenceWindows::putAwaySlots() {
    for (Slot& slot : slots_) {
        if (slot.view) slot.view->teardown();
        if (slot.view) slot.view->window()->hide();
    }
    slots_.clear();
}

bool DropPresenceWindows::show(DropPlacement placement) {
    placement_ = placement;
    putAwaySlots();
    if (canDraw_ && !canDraw_()) {
        hidden_ = true;
        return false;
    }
    hidden_ = false;
    const auto screens = Screens::shared().screens();
    for (const ScreenInfo& screen : screens) {
        const OrbDesign style = currentOrbDesign();
        Slot slot;
        slot.screen = screen;
        const QRectF& f = screen.frame;
        if (isCorner(placement)) {
            slot.transform = DropRenderTransform::corner(placement, style);
            slot.frame = DropRenderTransform::cornerFrame(placement, f, screen.backingScaleFactor, style);
            const bool left = placement == DropPlacement::bottomLeft;
            if (style == OrbDesign::light)
                slot.place = left ? QStringLiteral("свет из левой кромки снизу") : QStringLiteral("свет из правой кромки снизу");
            else
                slot.place = left ? QStringLiteral("капля слева снизу, выезд 45 px")
                                  : QStringLiteral("капля справа снизу, выезд 45 px");
        } else {
            double centre = f.x() + f.width() / 2;
            double overlap = 0;
            double topEdge = maxY(f);
            if (hasNotch(screen)) {
                const QRectF& l = *screen.auxiliaryTopLeftArea;
                const QRectF& r = *screen.auxiliaryTopRightArea;
                centre = ((l.x() + l.width()) + r.x()) / 2;
                overlap = DROP_TOP_OVERLAP;
                const double notchH = l.height();
                topEdge = style == OrbDesign::light ? maxY(f) + overlap : maxY(f) - notchH + overlap;
                const QString px = QString::number(qRound(notchH)) + QStringLiteral(" px");
                slot.place = (style == OrbDesign::light ? QStringLiteral("свет вровень с бровью ")
                                                         : QStringLiteral("капля под бровью ")) + px;
            } else {
                slot.place = QStringLiteral("у верхней кромки");
            }
            slot.transform = DropRenderTransform::top(overlap, style);
            const QSizeF c = slot.transform.canvasSize;
            slot.frame = QRectF(centre - c.width() / 2, topEdge - c.height(), c.width(), c.height());
        }
        slot.view = factory_(slot.transform, style);
        if (isCorner(placement) && style == OrbDesign::light) slot.view->configureSolarCorner(placement);
        else if (isCorner(placement)) slot.view->configureCorner(placement, screen.backingScaleFactor);
        else if (style == OrbDesign::light) slot.view->configureSolarTop();
        const bool passesEdge = !f.contains(slot.frame);
        prepareWindow(*slot.win(), passesEdge);
        slot.win()->setGeometry(Screens::shared().toNative(slot.frame).toRect());
        slot.anchorVisible = true;
        slot.shown = false;
        slots_.push_back(std::move(slot));
    }
    liveIdx_ = pending_ != DropState::idle ? slotUnderPointer() : std::nullopt;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        passState(i);
        slot.anchorVisible = computeAnchorVisible(slot);
        slot.shown = false;
        applyVisibility(i);
        logLine(QStringLiteral("капля: окно %1x%2 %3, %4")
                    .arg(qRound(slot.frame.width()))
                    .arg(qRound(slot.frame.height()))
                    .arg(slot.place, slot.anchorVisible ? QStringLiteral("показана")
                                                        : QStringLiteral("fullscreen - жду состояния")));
    }
    return true;
}

void DropPresenceWindows::passState(size_t i) {
    const bool live = !liveIdx_ || *liveIdx_ == i;
    slots_[i].view->set(live ? pending_ : DropState::idle, particleOnly_, cloud_);
}

bool DropPresenceWindows::computeAnchorVisible(const Slot& slot) const {
    if (isCorner(placement_)) return !Ladder::fullscreenWindowCovers(slot.screen);
    return Ladder::menuBarShowing(slot.screen);
}

std::optional<size_t> DropPresenceWindows::slotUnderPointer() const {
    const QPointF p = Screens::shared().mouseLocation();
    for (size_t i = 0; i < slots_.size(); ++i) {
        const QRectF& f = slots_[i].screen.frame;
        // Bottom-left origin: the top and right edges are outside, as on the platform.
        if (p.x() >= f.x() && p.x() < f.x() + f.width() && p.y() >= f.y() && p.y() < f.y() + f.height()) return i;
    }
    return std::nullopt;
}

void DropPresenceWindows::applyVisibility(size_t i) {
    Slot& slot = slots_[i];
    const bool live = !liveIdx_ || *liveIdx_ == i;
    bool should = slot.anchorVisible || (live && pending_ != DropState::idle);
    if (hidden_) should = false;
    if (should == slot.shown) return;
    slot.shown = should;
    if (should) {
        slot.win()->show();
        slot.win()->raise();
        slot.view->startAnim();
    } else {
        slot.view->stopAnim();
        slot.win()->hide();
    }
}

void DropPresenceWindows::set(DropState state, bool particleOnly, bool cloud) {
    // A meeting's particle look never replaces a running dictation.
    if (particleOnly && dictationOwnsPresentation_) return;
    if (state == DropState::idle) dictationOwnsPresentation_ = false;
    else if (state == DropState::recording && !particleOnly) dictationOwnsPresentation_ = true;
    successWork_.cancel();
    if (state != DropState::idle) {
        // While the drop stays active the live screen does not follow the pointer.
        if (pending_ == DropState::idle || !liveIdx_) {
            liveIdx_ = slotUnderPointer();
            if (liveIdx_) logLine(QStringLiteral("капля: разворачиваюсь ") + slots_[*liveIdx_].place);
        }
    } else {
        liveIdx_.reset();
    }
    pending_ = state;
    particleOnly_ = particleOnly;
    cloud_ = cloud;
    for (size_t i = 0; i < slots_.size(); ++i) {
        passState(i);
        applyVisibility(i);
    }
    if (state == DropState::succeeded) {
        successWork_ = MainQueue::shared().after(SOLAR_SUCCESS_DURATION, [this] {
            if (pending_ == DropState::succeeded) set(DropState::idle, false, false);
        });
    }
}

void DropPresenceWindows::hide() {
    successWork_.cancel();
    hidden_ = true;
    for (Slot& slot : slots_) {
        slot.shown = false;
        slot.view->stopAnim();
        slot.win()->hide();
    }
}

void DropPresenceWindows::bringToFront() {
    if (pending_ == DropState::idle) return;
    for (Slot& slot : slots_)
        if (slot.shown) slot.win()->raise();
}

void DropPresenceWindows::screensDidWake() {
    for (Slot& slot : slots_) slot.view->startAnim();
}

void DropPresenceWindows::scheduleWatch() {
    barWatch_ = MainQueue::shared().after(BAR_WATCH_SECONDS, [this] {
        watchMenuBar();
        scheduleWatch();
    });
}

void DropPresenceWindows::watchMenuBar() {
    for (size_t i = 0; i < slots_.size(); ++i) {
        const bool visible = computeAnchorVisible(slots_[i]);
        if (visible == slots_[i].anchorVisible) continue;
        slots_[i].anchorVisible = visible;
        applyVisibility(i);
    }
}

}  // namespace murmelo
