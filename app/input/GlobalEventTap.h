#pragma once
#include "platform/EventTap.h"

#include <QPointF>
#include <QRectF>
#include <optional>

namespace murmelo {

// Right-Shift routing of a modifier change.
namespace RightShiftGesture {

inline constexpr qint64 rightShiftCode = 60;

struct Route {
    enum class Kind { rightShift, polish, none, suppressedSecureInput };
    Kind kind = Kind::none;
    bool down = false;
    bool polishBound = false;
    bool operator==(const Route&) const = default;
};

Route route(qint64 keyCode, bool shiftDown, qint64 dictationCode, std::optional<qint64> commandCode,
            std::optional<qint64> polishCode, bool polishModifierDown, bool secureInput);

}  // namespace RightShiftGesture

namespace GlobalInputEventPolicy {

inline constexpr qint64 leftCommandKeyCode = 55;
bool isPhysicalLeftCommandChange(qint64 keyCode, bool synthetic);
bool isPhysicalCommandShortcut(bool commandDown, bool synthetic);

}  // namespace GlobalInputEventPolicy

// The one global event tap and its fixed dispatch: flight recorder, breaker, hotkeys on
// modifier changes, Quick Actions, the polish revert chord, typing statistics, key notes,
// live polish and finally the layout switcher, whose answer decides the swallow.
namespace GlobalEventTap {

bool installTap();
// The 2.0 s guard that re-enables or re-creates the tap as the breaker allows.
void startTapGuard();
// Answers true to pass the event on, false to swallow it.
bool tapCallback(const InputEvent& event);
// Bottom-left point of a top-left global location, and the same for a rectangle.
QPointF appKitPoint(QPointF cg, double mainScreenMaxY);
QRectF appKitRect(const QRectF& ax, double mainScreenMaxY);

void resetForTesting();

}  // namespace GlobalEventTap
}  // namespace murmelo
