#include "layout/LayoutGates.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/SyntheticInputPostGate.h"
#include "layout/SystemSubstitutions.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <algorithm>

namespace murmelo {

const QSet<QString>& unreliableDeliveryBundles() {
    // Application ids whose search fields drop synthetic keys (a launcher's entry box).
    static const QSet<QString> set = {QStringLiteral("com.apple.Spotlight")};
    return set;
}

namespace {
double uptime() { return Clock::shared().uptime(); }

QString nameOf(const AppIdentity& app) {
    if (!app.localizedName.isEmpty()) return app.localizedName;
    if (!app.bundleIdentifier.isEmpty()) return app.bundleIdentifier;
    return QStringLiteral("?");
}

std::optional<QString> bundleOf(const AppIdentity& app) {
    if (app.bundleIdentifier.isEmpty()) return std::nullopt;
    return app.bundleIdentifier;
}
}  // namespace

bool LayoutAppGates::isRemoteDesktopFrontmost() const {
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    if (!front) return false;
    return isRemoteViewerBundleID(bundleOf(*front));
}

bool LayoutAppGates::isExcludedAppFocused() {
    // Every key press asks; with nothing excluded the answer needs no lookup of the focused
    // application, which on this desktop is a round trip to its accessibility and the X server.
    const QSet<QString> excluded = engine_.excludedAppBundles();
    if (excluded.isEmpty()) return false;
    const FocusedApp app = focusedApp();
    return app.bundle && excluded.contains(*app.bundle);
}

bool LayoutAppGates::isFresh() const {
    return focusedAppCache_ && uptime() - focusedAppCache_->at < focusedAppCacheSeconds;
}

LayoutAppGates::FocusedApp LayoutAppGates::focusedApp() {
    if (isFresh()) return {focusedAppCache_->name, focusedAppCache_->bundle};
    CachedApp found{QStringLiteral("?"), std::nullopt, std::nullopt, uptime()};
    bool known = false;
    if (AXElementPtr el = AXText::focused()) {
        if (auto pid = AXText::ownerPid(el)) {
            if (auto app = Workspace::shared().runningApplication(*pid)) {
                found.name = nameOf(*app);
                found.bundle = bundleOf(*app);
                found.pid = *pid;
                known = true;
            }
        }
    }
    if (!known) {
        if (auto front = Workspace::shared().frontmostApplication()) {
            found.name = nameOf(*front);
            found.bundle = bundleOf(*front);
            found.pid = front->pid;
        }
    }
    focusedAppCache_ = found;
    return {found.name, found.bundle};
}

std::optional<qint64> LayoutAppGates::focusedAppPid() {
    focusedApp();
    return focusedAppCache_ ? focusedAppCache_->pid : std::nullopt;
}

std::optional<QString> LayoutAppGates::cachedAppName() const {
    if (!isFresh()) return std::nullopt;
    return focusedAppCache_->name;
}

QString LayoutAppGates::frontAppName() {
    const FocusedApp app = focusedApp();
    SystemSubstitutions::noteOnce(app.bundle, app.name);
    return app.name;
}

std::optional<QString> LayoutAppGates::appName(const AXElementPtr& element) {
    if (!element) return std::nullopt;
    const std::optional<qint64> pid = AXText::ownerPid(element);
    if (!pid) return std::nullopt;
    const std::optional<AppIdentity> app = Workspace::shared().runningApplication(*pid);
    if (!app) return std::nullopt;
    if (!app->localizedName.isEmpty()) return app->localizedName;
    if (!app->bundleIdentifier.isEmpty()) return app->bundleIdentifier;
    return std::nullopt;
}

bool LayoutAppGates::isAXDeliveryBundle(const QString& bundle) const {
    return unreliableDeliveryBundles().contains(bundle) || engine_.learnedUnreliableBundles.contains(bundle);
}

bool LayoutAppGates::usesAXDelivery() {
    // The stand's field decides for itself whether it is written through accessibility.
    if (LayoutSwitcher::standMode()) {
        const ComposeStage* stage = LayoutSwitcher::stage();
        return stage && stage->forceAXDelivery;
    }
    const FocusedApp app = focusedApp();
    return app.bundle && isAXDeliveryBundle(*app.bundle);
}

void LayoutAppGates::storeLearned() {
    QStringList sorted(engine_.learnedUnreliableBundles.begin(), engine_.learnedUnreliableBundles.end());
    std::sort(sorted.begin(), sorted.end());
    Defaults::shared().set(LayoutSwitcher::LEARNED_DELIVERY_KEY, sorted);
}

bool LayoutAppGates::noteDeliveryMiss(const QString& bundle, const QString& name, bool axRefused) {
    if (isAXDeliveryBundle(bundle)) return false;
    if (axRefused) {
        logLine(QStringLiteral("layout/учу: ") + name +
                QStringLiteral(" — правка не доехала, но AX-запись сюда уже отказала; ") +
                QStringLiteral("в список не беру, помочь нечем (") + bundle + QStringLiteral(")"));
        return false;
    }
    const int n = deliveryMisses_.value(bundle, 0) + 1;
    deliveryMisses_[bundle] = n;
    if (n >= DELIVERY_MISSES_TO_LEARN) {
        engine_.learnedUnreliableBundles.insert(bundle);
        storeLearned();
        deliveryMisses_[bundle] = 0;
        logLine(QStringLiteral("layout/учу: ") + name + QStringLiteral(" — правка не доехала дважды подряд; дальше пишу в поле ") +
                QStringLiteral("напрямую через Accessibility (") + bundle + QStringLiteral(")"));
        return true;
    }
    logLine(QStringLiteral("layout/учу: ") + name + QStringLiteral(" — правка не доехала до поля ") +
            QStringLiteral("(промах %1 из %2)").arg(n).arg(DELIVERY_MISSES_TO_LEARN));
    return false;
}

void LayoutAppGates::forgiveDeliveryMiss(const QString& bundle) {
    auto it = deliveryMisses_.find(bundle);
    if (it != deliveryMisses_.end() && *it > 0) *it = 0;
}

void LayoutAppGates::forgetLearnedIfAXRefused() {
    const FocusedApp app = focusedApp();
    if (!app.bundle || !engine_.learnedUnreliableBundles.contains(*app.bundle)) return;
    const AXElementPtr el = AXText::focused();
    if (!el) return;
    const std::optional<qint64> pid = AXText::ownerPid(el);
    if (!pid || !AXText::writeLooksRefused(*pid)) return;
    engine_.learnedUnreliableBundles.remove(*app.bundle);
    storeLearned();
    logLine(QStringLiteral("layout/учу: ") + frontAppName() + QStringLiteral(" — AX-запись сюда не проходит; снимаю со списка ") +
            QStringLiteral("прямой доставки, дальше клавишами (") + *app.bundle + QStringLiteral(")"));
}

void LayoutAppGates::forgetLearnedDelivery() {
    engine_.learnedUnreliableBundles.clear();
    deliveryMisses_.clear();
    Defaults::shared().remove(LayoutSwitcher::LEARNED_DELIVERY_KEY);
    logLine(QStringLiteral("layout/учу: выученный список приложений очищен человеком"));
}

QStringList LayoutAppGates::learnedDeliveryAppNames() const {
    // The desktop has no lookup from an application id to an installed application's display
    // name, so the running application's name is used when it is in front, else the id.
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    QStringList names;
    for (const QString& bundle : engine_.learnedUnreliableBundles) {
        if (front && front->bundleIdentifier == bundle && !front->localizedName.isEmpty())
            names << front->localizedName;
        else
            names << bundle;
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace murmelo
