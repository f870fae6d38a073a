#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <optional>

namespace murmelo {

class LayoutOutput;

// What the rollback needs of the typing of polish fixes: the key plan that turns one text into
// another at the caret.
class HealPlanner {
public:
    struct Plan {
        qint64 backspaces = 0;
        QString insert;
        QString why;
    };
    virtual ~HealPlanner() = default;
    virtual std::optional<Plan> plan(const QString& have, const QString& want, const QString& gap, bool trustGap) = 0;
};

// The program's: the typing of fixes plans the keys.
class TypingHealPlanner final : public HealPlanner {
public:
    std::optional<Plan> plan(const QString& have, const QString& want, const QString& gap, bool trustGap) override;
};

// Rolls back a polish key packet that landed crooked (the field holds neither the text before
// it nor the polished text) by one more key packet from the caret, when that is safe. True
// when the field is known to hold the text before the packet (it already did, or the rollback
// was sent); false when it was left alone. Lengths are UTF-16 units, differences are taken on
// whole characters so that a rollback never splits one. A plan needing more Backspaces than a
// manual polish may send is not sent. Main thread only.
bool polishHeal(LayoutOutput& output, HealPlanner& planner, const AXElementPtr& el, const QString& before,
                const QString& tag);

}  // namespace murmelo
