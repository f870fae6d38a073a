#include "presence/Ladder.h"

#include "base/Log.h"
#include "platform/Service.h"
#include "platform/Workspace.h"

#include <QThreadPool>
#include <algorithm>
#include <cmath>

namespace murmelo {

WindowBoundsCache::WindowBoundsCache(Reader reader, std::function<double()> now, Background background,
                                     std::function<bool()> onMainThread)
    : reader_(std::move(reader)), now_(std::move(now)), background_(std::move(background)),
      onMainThread_(std::move(onMainThread)) {}

double WindowBoundsCache::nextRefreshEarliest(double done, double walk) {
    return done + std::min(std::max(walk, 0.0), REFRESH_HOLD_CAP);
}

std::vector<QRectF> WindowBoundsCache::copyWindowBounds() {
    ++reads_;
    return reader_();
}

std::vector<QRectF> WindowBoundsCache::onScreenWindowBounds(double now) {
    // Other threads read the window system directly and leave the cache alone.
    if (!onMainThread_()) return copyWindowBounds();
    std::vector<QRectF> cached;
    bool everRead = false;
    bool startRefresh = false;
    {
        std::lock_guard lock(boundsLock_);
        if (now - windowBoundsAt_ < WINDOW_LIST_TTL) return windowBounds_;
        cached = windowBounds_;
        everRead = everRead_;
        startRefresh = everRead_ && !refreshing_ && now >= refreshHoldUntil_;
        if (startRefresh) refreshing_ = true;
    }
    if (!everRead) {
        auto fresh = copyWindowBounds();
        std::lock_guard lock(boundsLock_);
        windowBounds_ = fresh;
        windowBoundsAt_ = now;
        everRead_ = true;
        return fresh;
    }
    if (startRefresh) {
        background_([this, now] {
            const double a = now_();
            auto fresh = copyWindowBounds();
            const double walk = now_() - a;
            std::lock_guard lock(boundsLock_);
            windowBounds_ = std::move(fresh);
            windowBoundsAt_ = now + walk;
            refreshHoldUntil_ = nextRefreshEarliest(windowBoundsAt_, walk);
            refreshing_ = false;
        });
    }
    return cached;
}

void WindowBoundsCache::forgetWindowBounds() {
    std::lock_guard lock(boundsLock_);
    windowBoundsAt_ = LOWEST;
    refreshHoldUntil_ = LOWEST;
}

bool WindowBoundsCache::isRefreshingWindowBounds() const {
    std::lock_guard lock(boundsLock_);
    return refreshing_;
}

WindowBoundsCache& WindowBoundsCache::shared() {
    if (auto* installed = installedService<WindowBoundsCache>()) return *installed;
    // Lives as long as the process: a background read may still be running at exit.
    static auto* cache = new WindowBoundsCache(
        [] { return Workspace::shared().onScreenWindowFrames(); }, [] { return Clock::shared().uptime(); },
        [](std::function<void()> fn) { QThreadPool::globalInstance()->start(std::move(fn)); },
        [] { return MainQueue::shared().isMainThread(); });
    return *cache;
}

namespace Ladder {

std::optional<ScreenInfo> notchScreen() {
    for (const ScreenInfo& s : Screens::shared().screens())
        if (s.auxiliaryTopLeftArea && s.auxiliaryTopRightArea) return s;
    return std::nullopt;
}

bool menuBarShowing(const ScreenInfo& screen) {
    const double frameTop = screen.frame.y() + screen.frame.height();
    const double visibleTop = screen.visibleFrame.y() + screen.visibleFrame.height();
    return frameTop - visibleTop > 1 && !fullscreenWindowCovers(screen);
}

bool windowCoversScreen(double x, double y, double w, double h, const QRectF& screen, double top) {
    return y <= top + 1 && y + h >= top + screen.height() - 1 && x <= screen.x() + 1 &&
           x + w >= screen.x() + screen.width() - 1;
}

bool fullscreenWindowCovers(const ScreenInfo& screen) {
    const auto all = Screens::shared().screens();
    if (all.empty()) return false;
    const QRectF& first = all.front().frame;
    const double top = (first.y() + first.height()) - (screen.frame.y() + screen.frame.height());
    for (const QRectF& r : WindowBoundsCache::shared().onScreenWindowBounds())
        if (windowCoversScreen(r.x(), r.y(), r.width(), r.height(), screen.frame, top)) return true;
    return false;
}

}  // namespace Ladder

namespace {
const QString OFF_LINE = QStringLiteral("ступени: выключены - присутствие рисует капля или значок, по выбору");
}

LadderIndicator::LadderIndicator() {
    obsScreens_ = Screens::shared().addChangeObserver([this] { rebuild(); });
    scheduleWatch();
}

LadderIndicator::~LadderIndicator() {
    barWatch_.cancel();
    Screens::shared().removeChangeObserver(obsScreens_);
}

void LadderIndicator::set(LadderState state) { pending_ = state; }

void LadderIndicator::show() { logLine(OFF_LINE); }

void LadderIndicator::rebuild() {
    WindowBoundsCache::shared().forgetWindowBounds();
    logLine(OFF_LINE);
}

void LadderIndicator::scheduleWatch() {
    barWatch_ = MainQueue::shared().after(BAR_WATCH_SECONDS, [this] {
        watchMenuBar();
        scheduleWatch();
    });
}

void LadderIndicator::watchMenuBar() {
    const auto screen = Ladder::notchScreen();
    if (!screen || Ladder::menuBarAutoHides()) return;
    const double frameTop = screen->frame.y() + screen->frame.height();
    const double visibleTop = screen->visibleFrame.y() + screen->visibleFrame.height();
    bool visible = false;
    if (frameTop - visibleTop > 1) visible = !Ladder::fullscreenWindowCovers(*screen);
    if (visible == barVisible_) return;
    barVisible_ = visible;
    logLine(QStringLiteral("ступени: меню-бар ") + (visible ? QStringLiteral("виден") : QStringLiteral("скрыт (fullscreen)")));
}

}  // namespace murmelo
