#pragma once
#include "input/DeliveryRepair.h"
#include "input/DeliveryRepairCard.h"
#include "input/TextWriteTrace.h"
#include "platform/Accessibility.h"
#include "polish/PolishHeal.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class LayoutOutput;
class LayoutSwitcher;

// Whose key packet an edit audit checks: a polish fix, or the switcher's undo of a correction.
enum class EditAuditOwner { polish, undo };

// A polish fix typed at the caret when the field takes no accessibility write, and the audit
// that re-reads the field afterwards: it confirms the edit, pastes a lost edit back once,
// rolls a crooked landing back, or offers the delivery repair card. The switcher's undo
// packets go through the same audit. Main thread only.
class PolishEditDelivery {
public:
    // One packet's audit, carried by value from one check to the next.
    struct Audit {
        AXElementPtr el;
        std::optional<qint64> pid;
        DeliveryRepair::EditPacket packet;
        QString tag;
        quint64 typedAtWrite = 0;
        std::optional<TextWriteTraceToken> trace;
        int read = 0;
        int attempt = 0;
        std::optional<QString> repaired;
        EditAuditOwner owner = EditAuditOwner::polish;
    };

    // What the audit asks beyond the switcher: the repair switch of polish, and the rollback of
    // a crooked landing. The program's are ApplicationEditHealing; tests answer their own.
    class Healing {
    public:
        virtual ~Healing() = default;
        virtual bool isPolishEditRepairEnabled() = 0;
        // True when the field is known to hold the text before the packet.
        virtual bool polishHeal(const AXElementPtr& el, const QString& before, const QString& tag) = 0;
    };

    // Keys are typed through the switcher's output, under its key count and rules.
    PolishEditDelivery(LayoutSwitcher& engine, LayoutOutput& output, Healing& healing);
    ~PolishEditDelivery();
    PolishEditDelivery(const PolishEditDelivery&) = delete;
    PolishEditDelivery& operator=(const PolishEditDelivery&) = delete;

    // Over the application's switcher; made on first use.
    static PolishEditDelivery& shared();

    // Types the change of the stretch `fix` from have to want with Backspaces and Unicode keys
    // at the caret and starts the audit; false when it refused (nothing typed).
    bool polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                       const QString& want, const QString& tag, qint64 maxKeys = 24, bool trustGap = false);
    // Schedules one check of the audit; without a delay, the read's own delay.
    void polishAuditEdit(Audit audit, std::optional<double> delay = std::nullopt);
    // Re-reads a field after the switcher's undo pasted over a correction, and repairs it.
    void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet, quint64 typedAtWrite);
    // Pastes a text at the caret as the audit's repair does.
    void polishRepairPaste(const QString& text, TextWriteOrigin origin = TextWriteOrigin::polishRepair);

    // The owner's repair switch, the name the log gives it, its card and its repair's origin.
    bool repairEnabled(EditAuditOwner owner);
    static QString switchName(EditAuditOwner owner);
    static DeliveryRepairCardController::Kind cardKind(EditAuditOwner owner);
    static TextWriteOrigin repairOrigin(EditAuditOwner owner);
    static bool healsCrookedLanding(EditAuditOwner owner) { return owner == EditAuditOwner::polish; }
    // The verdict as the log shows it.
    static QString describe(const DeliveryRepair::Action& verdict);

private:
    void check(const Audit& audit);
    void polishActOnEdit(const DeliveryRepair::Action& verdict, const Audit& audit, int reads, bool userTyped);
    void showCard(const Audit& audit, const QString& reason, const QString& appName);
    bool heal(const Audit& audit);

    LayoutSwitcher& engine_;
    LayoutOutput& output_;
    Healing& healing_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The program's repair switch ("polishEditRepairOff", MURMELO_POLISH_EDIT_REPAIR) and its
// rollback by one more key packet from the caret.
class ApplicationEditHealing final : public PolishEditDelivery::Healing {
public:
    explicit ApplicationEditHealing(LayoutOutput& output) : output_(output) {}
    bool isPolishEditRepairEnabled() override;
    bool polishHeal(const AXElementPtr& el, const QString& before, const QString& tag) override;

private:
    LayoutOutput& output_;
    TypingHealPlanner planner_;
};

}  // namespace murmelo
