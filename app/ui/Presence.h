#pragma once
#include <QImage>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class QScreen;

namespace murmelo {

// What the state hub asks of the floating presence indicators and the quick panel. The
// presence subsystem derives its indicators from these; until it is there they do nothing.

enum class LadderState { rest, live, think, error };
enum class DropState { idle, recording, recognizing, succeeded };

// Where a drop sits: hanging under the top edge, or rising from a bottom corner.
enum class DropPlacement { top, bottomLeft, bottomRight };
inline constexpr std::array<DropPlacement, 3> DROP_PLACEMENTS{DropPlacement::top, DropPlacement::bottomLeft,
                                                              DropPlacement::bottomRight};
QString rawValue(DropPlacement placement);
// Exactly the three raw texts; anything else gives nothing.
std::optional<DropPlacement> dropPlacementFromRaw(const QString& raw);
inline bool isCorner(DropPlacement placement) { return placement != DropPlacement::top; }

// The notch "ladder" indicator.
class LadderPresence {
public:
    virtual ~LadderPresence() = default;
    virtual void set(LadderState) {}
    virtual void show() {}
};

// The "drop" indicator.
class DropPresence {
public:
    virtual ~DropPresence() = default;
    virtual void set(DropState, bool /*particleOnly*/ = false, bool /*cloud*/ = false) {}
    // Builds the drop windows of every screen at the placement (again, when they exist); false
    // when no drop can be drawn, so that the status item stands in.
    virtual bool show(DropPlacement) { return true; }
    // Puts every drop window away until the next show().
    virtual void hide() {}
    // Raises the visible drop windows again while the drop is active.
    virtual void bringToFront() {}
};

// The bead of the Quick Actions bar: a sphere BEAD_BODY_PT across in a transparent square of
// BEAD_BOX_PT (the bar sizes itself from both).
inline constexpr double BEAD_BODY_PT = 31;
inline constexpr double BEAD_BOX_PT = 35;
// The bead image at a display scale, from the presence once it is installed; a null image
// (always, before that) tells the bar to draw its own bead.
using BeadImageProvider = std::function<QImage(double scale)>;
void setBeadImageProvider(BeadImageProvider provider);
QImage beadImage(double scale);

// The quick panel that a plain click on the status item toggles.
class QuickPanelController {
public:
    virtual ~QuickPanelController() = default;
    // The horizontal screen coordinate under which the panel opens.
    std::optional<double> anchorX;
    // Opens the panel (on the screen, when given) or closes it.
    virtual void toggle(QScreen* /*screen*/) {}
    // The hover zones that open the panel from the drop; they arrive with the hover-zone
    // windows, until then the drop has none.
    virtual void installHoverZone(DropPlacement) {}
    virtual void removeHoverZone() {}

    static QuickPanelController& shared();
    static void install(QuickPanelController* controller);
};

}  // namespace murmelo
