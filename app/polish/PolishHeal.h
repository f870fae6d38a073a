#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class LayoutSwitcher;

// What the rollback needs of the typing of polish fixes: the key plan that turns one text into
// another at the caret, the typing's own by default. Without one, no rollback is planned and
// the rollback says so in the log.
struct PolishHealSteps {
    PolishHealSteps();
    struct Plan {
        qint64 backspaces = 0;
        QString insert;
        QString why;
    };
    std::function<std::optional<Plan>(const QString& have, const QString& want, const QString& gap, bool trustGap)>
        plan;
    // The Backspace limit of a manual polish, which the rollback shares.
    qint64 maxKeys = 200;

    static PolishHealSteps& shared();
};

// Rolls back a polish key packet that landed crooked (the field holds neither the text before
// it nor the polished text) by one more key packet from the caret, when that is safe. True
// when the field is known to hold the text before the packet (it already did, or the rollback
// was sent); false when it was left alone. Lengths are UTF-16 units, differences are taken on
// whole characters so that a rollback never splits one. Main thread only.
bool polishHeal(LayoutSwitcher& engine, const AXElementPtr& el, const QString& before, const QString& tag);

}  // namespace murmelo
