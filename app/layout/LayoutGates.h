#pragma once
#include "layout/LayoutSwitcher.h"
#include "platform/Accessibility.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// What may be done to the current word, from how it began. A word begun after a click, a
// navigation key, a modifier shortcut or Backspace is an edit of existing text: it may still
// be converted, but only on strong evidence, and the input source does not follow it.
struct EditRights {
    LayoutSwitcher::BufStart start = LayoutSwitcher::BufStart::clean;

    EditRights() = default;
    explicit EditRights(LayoutSwitcher::BufStart s) : start(s) {}
    static EditRights clean() { return EditRights(); }

    bool isClean() const { return start == LayoutSwitcher::BufStart::clean; }
    bool movesSystemLayout() const { return isClean(); }
    bool allowsUnconfidentFlip() const { return isClean(); }
    bool givesLanguageContext() const { return isClean(); }
    bool delaysLayoutOneMoreWord() const { return !isClean(); }
    bool asksFieldForNeighbour() const { return !isClean(); }
    bool capitalNeedsCaretProbe() const { return !isClean(); }
    bool allowsLiveFlip() const {
        return start != LayoutSwitcher::BufStart::nav && start != LayoutSwitcher::BufStart::bs;
    }
    bool allowsDictionaryFlip(int coreLength) const { return isClean() || coreLength > 3; }
    bool allowsSpellFix(int coreLength) const { return isClean() || coreLength > 4; }
};

// Bundle identifiers whose fields always get accessibility delivery.
const QSet<QString>& unreliableDeliveryBundles();
inline constexpr int DELIVERY_MISSES_TO_LEARN = 2;

// Where and how the engine may act: remote-desktop viewers and excluded applications get no
// edits; applications whose fields do not receive typed corrections are learned after two
// misses in a row and written through accessibility from then on. Main thread only.
class LayoutAppGates {
public:
    explicit LayoutAppGates(LayoutSwitcher& engine) : engine_(engine) {}

    struct FocusedApp {
        QString name;
        std::optional<QString> bundle;
    };

    // Synthetic input does not arrive through a remote viewer. Not cached.
    bool isRemoteDesktopFrontmost() const;
    bool isExcludedAppFocused();
    // The application that owns the keyboard focus, looked up at most every half second.
    FocusedApp focusedApp();
    std::optional<qint64> focusedAppPid();
    // The cached name while it is fresh; never looks anything up.
    std::optional<QString> cachedAppName() const;
    QString frontAppName();
    // The application that owns the element, by its process.
    static std::optional<QString> appName(const AXElementPtr& element);

    bool usesAXDelivery();
    bool isAXDeliveryBundle(const QString& bundle) const;
    // True when the application was learned by this miss.
    bool noteDeliveryMiss(const QString& bundle, const QString& name, bool axRefused);
    void forgiveDeliveryMiss(const QString& bundle);
    void forgetLearnedIfAXRefused();
    void forgetLearnedDelivery();
    QStringList learnedDeliveryAppNames() const;

    static constexpr double focusedAppCacheSeconds = 0.5;

private:
    struct CachedApp {
        QString name;
        std::optional<QString> bundle;
        std::optional<qint64> pid;
        double at = 0;
    };
    bool isFresh() const;
    void storeLearned();

    LayoutSwitcher& engine_;
    std::optional<CachedApp> focusedAppCache_;
    QHash<QString, int> deliveryMisses_;
};


}  // namespace murmelo
