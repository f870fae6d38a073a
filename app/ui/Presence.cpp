#include "ui/Presence.h"

#include "platform/Service.h"

namespace murmelo {

QString rawValue(DropPlacement placement) {
    switch (placement) {
    case DropPlacement::top: return QStringLiteral("top");
    case DropPlacement::bottomLeft: return QStringLiteral("bottomLeft");
    case DropPlacement::bottomRight: return QStringLiteral("bottomRight");
    }
    return {};
}

std::optional<DropPlacement> dropPlacementFromRaw(const QString& raw) {
    for (DropPlacement p : DROP_PLACEMENTS)
        if (rawValue(p) == raw) return p;
    return std::nullopt;
}

namespace {
BeadImageProvider& beadProvider() {
    static BeadImageProvider provider;
    return provider;
}
}  // namespace

void setBeadImageProvider(BeadImageProvider provider) { beadProvider() = std::move(provider); }

QImage beadImage(double scale) { return beadProvider() ? beadProvider()(scale) : QImage(); }

QuickPanelController& QuickPanelController::shared() {
    if (auto* c = installedService<QuickPanelController>()) return *c;
    static QuickPanelController none;
    return none;
}

void QuickPanelController::install(QuickPanelController* controller) { installService<QuickPanelController>(controller); }

}  // namespace murmelo
