#include "presence/PresenceStyle.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Screens.h"
#include "presence/Ladder.h"
#include "ui/AppState.h"

namespace murmelo::PresenceStyles {

QString rawValue(PresenceStyle style) {
    switch (style) {
    case PresenceStyle::drop: return QStringLiteral("drop");
    case PresenceStyle::dropBottomLeft: return QStringLiteral("dropBottomLeft");
    case PresenceStyle::dropBottomRight: return QStringLiteral("dropBottomRight");
    case PresenceStyle::barIcon: return QStringLiteral("barIcon");
    }
    return {};
}

std::optional<PresenceStyle> fromRaw(const QString& raw) {
    for (PresenceStyle s : allCases)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

std::optional<DropPlacement> placement(PresenceStyle style) {
    switch (style) {
    case PresenceStyle::drop: return DropPlacement::top;
    case PresenceStyle::dropBottomLeft: return DropPlacement::bottomLeft;
    case PresenceStyle::dropBottomRight: return DropPlacement::bottomRight;
    case PresenceStyle::barIcon: return std::nullopt;
    }
    return std::nullopt;
}

PresenceStyle chosen() {
    const auto text = Defaults::shared().stringValue(key);
    if (!text) return PresenceStyle::drop;
    return fromRaw(*text).value_or(PresenceStyle::drop);
}

PresenceStyle resolved(PresenceStyle chosen, bool menuBarAutoHides) {
    if (chosen == PresenceStyle::drop && menuBarAutoHides) return PresenceStyle::barIcon;
    return chosen;
}

namespace {
// Whether the last effective() fell back for want of a compositing manager.
bool fellBack = false;
}  // namespace

PresenceStyle effective() {
    const PresenceStyle s = resolved(chosen(), Ladder::menuBarAutoHides());
    if (s == PresenceStyle::barIcon || Screens::shared().compositing()) {
        fellBack = false;
        return s;
    }
    if (!fellBack)
        logLine(QStringLiteral("⚠ присутствие: нет композитного менеджера окон - прозрачную каплю не нарисовать, "
                               "вместо неё значок в трее"));
    fellBack = true;
    return PresenceStyle::barIcon;
}

void set(PresenceStyle style, AppState* app) {
    Defaults::shared().set(key, rawValue(style));
    logLine(QStringLiteral("присутствие: выбрано ") + rawValue(style));
    apply(app);
}

void apply(AppState* hub) {
    const PresenceStyle s = effective();
    AppState& app = hub ? *hub : AppState::shared();
    const auto p = placement(s);
    if (p && app.drop().show(*p)) {
        QuickPanelController::shared().installHoverZone(*p);
        app.removeStatusItem();
    } else {
        app.drop().hide();
        QuickPanelController::shared().removeHoverZone();
        app.ensureStatusItem();
    }
}

}  // namespace murmelo::PresenceStyles
