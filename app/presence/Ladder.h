#pragma once
#include "ui/Presence.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"

#include <QRectF>
#include <atomic>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace murmelo {

// The frames of the on-screen windows (window-system coordinates, front to back), cached so
// that the main thread waits for the window system only once per process: afterwards it
// gets the last list at once while one background read refreshes it.
class WindowBoundsCache {
public:
    static constexpr double WINDOW_LIST_TTL = 0.15;
    static constexpr double REFRESH_HOLD_CAP = 2.0;

    using Reader = std::function<std::vector<QRectF>()>;
    using Background = std::function<void(std::function<void()>)>;
    // reader: one read of the window list; now: media time in seconds; background: runs a
    // block off the main thread; onMainThread: whether the caller may use the cache.
    WindowBoundsCache(Reader reader, std::function<double()> now, Background background,
                      std::function<bool()> onMainThread);

    std::vector<QRectF> onScreenWindowBounds(double now);
    std::vector<QRectF> onScreenWindowBounds() { return onScreenWindowBounds(now_()); }
    // Marks the list stale and lifts the pause, keeping the list until a read replaces it.
    void forgetWindowBounds();
    bool isRefreshingWindowBounds() const;
    int windowBoundsReads() const { return reads_; }

    static double nextRefreshEarliest(double done, double walk);

    // The process's cache over the workspace's window list; tests install their own
    // (ScopedService).
    static WindowBoundsCache& shared();

private:
    std::vector<QRectF> copyWindowBounds();

    static constexpr double LOWEST = std::numeric_limits<double>::lowest();
    Reader reader_;
    std::function<double()> now_;
    Background background_;
    std::function<bool()> onMainThread_;
    mutable std::mutex boundsLock_;
    std::vector<QRectF> windowBounds_;
    double windowBoundsAt_ = LOWEST;
    double refreshHoldUntil_ = LOWEST;
    bool refreshing_ = false;
    bool everRead_ = false;
    std::atomic<int> reads_{0};
};

// The screen queries the drop, the presence style and the quick panel ask.
namespace Ladder {
// The first screen with a camera notch (both auxiliary top areas); never on Linux.
std::optional<ScreenInfo> notchScreen();
// A top panel takes room (the frame's top more than 1 pt above the visible top) and no
// full-screen window covers the screen.
bool menuBarShowing(const ScreenInfo& screen);
bool fullscreenWindowCovers(const ScreenInfo& screen);
// top: the screen's top edge in window-system coordinates (y down from the first screen).
bool windowCoversScreen(double x, double y, double w, double h, const QRectF& screen, double top);
// No Linux desktop has a setting that hides the top panel for us to read.
inline bool menuBarAutoHides() { return false; }
}  // namespace Ladder

// The notch ladder is switched off: it only says so, and keeps watching the notched
// screen's menu bar for when a ladder window exists.
class LadderIndicator : public LadderPresence {
public:
    static constexpr bool enabled = false;
    static constexpr double BAR_WATCH_SECONDS = 0.4;

    LadderIndicator();
    ~LadderIndicator() override;
    void set(LadderState state) override;
    void show() override;
    void rebuild();

    static bool shouldShowLadder(bool barVisible, LadderState state) { return barVisible || state != LadderState::rest; }
    bool barVisible() const { return barVisible_; }
    LadderState pending() const { return pending_; }

private:
    void watchMenuBar();
    void scheduleWatch();

    bool barVisible_ = true;
    LadderState pending_ = LadderState::rest;
    TimerHandle barWatch_;
    int obsScreens_ = 0;
};

}  // namespace murmelo
