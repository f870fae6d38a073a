#pragma once
#include "ui/Presence.h"

#include <QString>
#include <array>
#include <optional>

namespace murmelo {
class AppState;

// How the program shows what it is doing: a drop under the top edge, a drop in a bottom
// corner of every screen, or the status item alone.
enum class PresenceStyle { drop, dropBottomLeft, dropBottomRight, barIcon };

namespace PresenceStyles {

inline constexpr std::array<PresenceStyle, 4> allCases{PresenceStyle::drop, PresenceStyle::dropBottomLeft,
                                                       PresenceStyle::dropBottomRight, PresenceStyle::barIcon};
inline const QString key = QStringLiteral("presenceStyle");

QString rawValue(PresenceStyle style);
// Exactly the four raw texts, case-sensitive.
std::optional<PresenceStyle> fromRaw(const QString& raw);
// The placement of a drop style; none for the status item.
std::optional<DropPlacement> placement(PresenceStyle style);

// The stored choice; a missing key or any other value reads as drop (and stays stored).
PresenceStyle chosen();
// A drop that hangs from an auto-hidden top panel would hang from nothing: the status item
// takes its place. Corner drops do not depend on the panel.
PresenceStyle resolved(PresenceStyle chosen, bool menuBarAutoHides);
// What apply() shows: the resolved choice, and the status item for any drop when no
// compositing manager can blend a translucent window (logged once while that lasts).
PresenceStyle effective();
// Stores the choice, logs it and applies it (to the process's state hub when none is given).
void set(PresenceStyle style, AppState* app = nullptr);
// Exactly one sign afterwards: the drop windows with their hover zones, or the status item.
void apply(AppState* app = nullptr);

}  // namespace PresenceStyles
}  // namespace murmelo
