#pragma once
#include "ui/Presence.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWindow;

namespace murmelo {

// The presence design: a fan of light or a water drop ("orbStyle").
enum class OrbDesign { light, water };
// The stored design; "light" for a missing or unknown value.
OrbDesign currentOrbDesign();

// Lengths in points unless the name ends in DEVICE_PX.
inline constexpr double DROP_W = 214;
inline constexpr double DROP_H = 127;
inline constexpr double DROP_TOP_OVERLAP = 2;
inline constexpr double DROP_CORNER_VISIBLE_DEVICE_PX = 50;
inline constexpr double DROP_CORNER_SIDE_REVEAL_DEVICE_PX = 45;
inline constexpr double DROP_CORNER_EXTRA_LIFT_DEVICE_PX = 12;
inline constexpr double DROP_CORNER_OUTSET_SIDE_PT = 47;
inline constexpr double DROP_CORNER_CALIBRATED_TARGET_PT = 25;
inline constexpr double SOLAR_TOP_W = 560;
inline constexpr double SOLAR_TOP_H = 340;
inline constexpr double SOLAR_CORNER_W = 360;
inline constexpr double SOLAR_CORNER_H = 360;
inline constexpr double SOLAR_SUCCESS_DURATION = 1.62;

// How the drawing (the drop as it hangs under the top edge) sits in its window. Anchors are
// measured from the window's top-left; screen rectangles have the origin at the bottom-left.
struct DropRenderTransform {
    QSizeF canvasSize;
    QPointF sourceAnchor;
    QPointF outputAnchor;
    double rotation = 0;
    double mirrorX = 1;

    static DropRenderTransform top(double overlap, OrbDesign style);
    static DropRenderTransform corner(DropPlacement placement, OrbDesign style);
    static double targetPoints(double backingScaleFactor);
    static double cornerSideRevealPoints(double backingScaleFactor);
    static double cornerSideOffsetPoints(double backingScaleFactor);
    static QPointF cornerAnchor(DropPlacement placement, const QRectF& screen, double backingScaleFactor);
    static QRectF cornerFrame(DropPlacement placement, const QRectF& screen, double backingScaleFactor, OrbDesign style);
};

// What a drop window shows, and the window it draws into (the drop windows place, flag, show
// and hide it).
class DropPresenceView {
public:
    virtual ~DropPresenceView() = default;
    virtual QWindow* window() = 0;
    virtual void set(DropState state, bool particleOnly, bool cloud) = 0;
    virtual void startAnim() = 0;
    virtual void stopAnim() = 0;
    virtual void teardown() = 0;
    virtual void configureCorner(DropPlacement placement, double backingScaleFactor) = 0;
    virtual void configureSolarCorner(DropPlacement placement) = 0;
    virtual void configureSolarTop() = 0;
};

// Draws nothing and keeps what it was asked, for the log of tests; its window is a plain one.
class RecordingDropView : public DropPresenceView {
public:
    RecordingDropView();
    QWindow* window() override { return win.get(); }
    std::unique_ptr<QWindow> win;
    struct Request {
        DropState state;
        bool particleOnly;
        bool cloud;
        bool operator==(const Request&) const = default;
    };
    DropRenderTransform transform;
    std::vector<Request> requests;
    QStringList calls;
    bool animating = false;

    void set(DropState state, bool particleOnly, bool cloud) override;
    void startAnim() override;
    void stopAnim() override;
    void teardown() override;
    void configureCorner(DropPlacement placement, double backingScaleFactor) override;
    void configureSolarCorner(DropPlacement placement) override;
    void configureSolarTop() override;
    std::optional<DropState> lastState() const;
};

// The drop on every screen: one frameless, click-through, transparent window per screen,
// which screen shows the live drop, when a window is shown, and every state change.
class DropPresenceWindows : public DropPresence {
public:
    using ViewFactory = std::function<std::unique_ptr<DropPresenceView>(const DropRenderTransform&, OrbDesign)>;
    static constexpr double BAR_WATCH_SECONDS = 0.4;

    struct Slot {
        ScreenInfo screen;
        std::unique_ptr<DropPresenceView> view;
        QWindow* win() const { return view->window(); }
        QString place;
        QRectF frame;  // bottom-left origin
        DropRenderTransform transform;
        bool anchorVisible = true;
        bool shown = false;
    };

    // Without a factory the windows hold recording stand-ins. canDraw says whether the views the
    // factory makes can draw at all (none: they always can).
    explicit DropPresenceWindows(ViewFactory factory = {}, std::function<bool()> canDraw = {});
    ~DropPresenceWindows() override;

    // Builds no window and stays hidden when the views cannot draw.
    bool show(DropPlacement placement) override;
    void set(DropState state, bool particleOnly = false, bool cloud = false) override;
    void hide() override;
    void bringToFront() override;
    // The screens woke: every view animates again.
    void screensDidWake();

    const std::vector<Slot>& screenSlots() const { return slots_; }
    DropState pending() const { return pending_; }
    bool particleOnly() const { return particleOnly_; }
    bool cloud() const { return cloud_; }
    std::optional<size_t> liveIdx() const { return liveIdx_; }
    DropPlacement placement() const { return placement_; }
    bool hidden() const { return hidden_; }

private:
    void rebuildOnChange();
    bool computeAnchorVisible(const Slot& slot) const;
    void applyVisibility(size_t i);
    std::optional<size_t> slotUnderPointer() const;
    void passState(size_t i);
    void putAwaySlots();
    void scheduleWatch();
    void watchMenuBar();

    ViewFactory factory_;
    std::function<bool()> canDraw_;
    std::vector<Slot> slots_;
    int obsScreens_ = 0;
    int obsWake_ = 0;
    TimerHandle barWatch_;
    TimerHandle successWork_;
    DropState pending_ = DropState::idle;
    bool particleOnly_ = false;
    bool cloud_ = false;
    bool dictationOwnsPresentation_ = false;
    DropPlacement placement_ = DropPlacement::top;
    std::optional<size_t> liveIdx_;
    // From hide() to the next show(): no window is ordered in. Starts hidden, as no window
    // exists before the first show().
    bool hidden_ = true;
};

}  // namespace murmelo
