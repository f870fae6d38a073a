#include "polish/PolishEditDelivery.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/ClipboardPaste.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "platform/ComposeStage.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "polish/PolishHeal.h"
#include "polish/PolishSettings.h"
#include "polish/PolishTyping.h"

#include <algorithm>
#include <iterator>

namespace murmelo {
namespace {

using DeliveryRepair::Action;

bool hasNonWhiteSpace(const QString& text) {
    for (const char32_t c : text.toUcs4())
        if (!QChar::isSpace(c)) return true;
    return false;
}

constexpr int kReadCount = int(std::size(DeliveryRepair::editReadDelays));

// The application that owns the field, else the one in front.
QString applicationName(const AXElementPtr& el) {
    if (const std::optional<QString> name = LayoutAppGates::appName(el)) return *name;
    if (const std::optional<QString> name = LayoutAppGates::appName(AXText::focused())) return *name;
    if (const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication())
        if (!front->localizedName.isEmpty()) return front->localizedName;
    return QStringLiteral("?");
}

QString verdictName(Action::Kind kind) {
    switch (kind) {
    case Action::notNeeded: return QStringLiteral("notNeeded");
    case Action::reinsert: return QStringLiteral("reinsert");
    case Action::appendTail: return QStringLiteral("appendTail");
    case Action::refuse: return QStringLiteral("refuse");
    }
    return {};
}

}  // namespace

PolishEditDelivery::PolishEditDelivery(LayoutSwitcher& engine, LayoutOutput& output, Healing& healing)
    : engine_(engine), output_(output), healing_(healing) {}

bool ApplicationEditHealing::isPolishEditRepairEnabled() { return murmelo::isPolishEditRepairEnabled(); }
bool ApplicationEditHealing::polishHeal(const AXElementPtr& el, const QString& before, const QString& tag) {
    return murmelo::polishHeal(output_, planner_, el, before, tag);
}

PolishEditDelivery::~PolishEditDelivery() { *alive_ = false; }

PolishEditDelivery& PolishEditDelivery::shared() {
    LayoutEngineParts& switcher = LayoutEngineParts::application();
    static ApplicationEditHealing healing(*switcher.output);
    static PolishEditDelivery* delivery = new PolishEditDelivery(switcher.engine, *switcher.output, healing);  // lives as long as the process
    return *delivery;
}

bool PolishEditDelivery::repairEnabled(EditAuditOwner owner) {
    if (owner == EditAuditOwner::undo) return engine_.rules().ruleOneGesture;
    return healing_.isPolishEditRepairEnabled();
}

QString PolishEditDelivery::switchName(EditAuditOwner owner) {
    return owner == EditAuditOwner::polish ? QStringLiteral("polishEditRepairOff")
                                           : QStringLiteral("MURMELO_RULE_ONE_GESTURE=0 / layoutOneGestureOff");
}

DeliveryRepairCardController::Kind PolishEditDelivery::cardKind(EditAuditOwner owner) {
    return owner == EditAuditOwner::polish ? DeliveryRepairCardController::Kind::polish
                                           : DeliveryRepairCardController::Kind::undo;
}

TextWriteOrigin PolishEditDelivery::repairOrigin(EditAuditOwner owner) {
    return owner == EditAuditOwner::polish ? TextWriteOrigin::polishRepair : TextWriteOrigin::layoutUndoRepair;
}

QString PolishEditDelivery::describe(const Action& verdict) {
    return verdictName(verdict.kind) + QStringLiteral("(") + verdict.payload + QStringLiteral(")");
}

bool PolishEditDelivery::polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret,
                                       const QString& have, const QString& want, const QString& tag, qint64 maxKeys,
                                       bool trustGap) {
    const qint64 end = fix.location + fix.length;
    if (caret < end || caret > value.size()) {
        logLine(tag + QStringLiteral(": каретка левее конца правки — человек её уже обошёл"));
        return false;
    }
    // The Backspaces erase what the field holds: a stretch other than the one planned would
    // be destroyed.
    if (fix.location < 0 || value.mid(fix.location, fix.length) != have) {
        logLine(tag + QStringLiteral(": в поле на месте правки уже другой текст — синтетикой не трогаю"));
        return false;
    }
    const QString gap = value.mid(end, caret - end);
    if (!trustGap && hasNonWhiteSpace(gap)) {
        logLine(tag + QStringLiteral(": человек ушёл вперёд на %1 симв. — синтетикой не достать").arg(graphemeCount(gap)));
        return false;
    }
    if (PolishTyping::eatsNewline(have, want, gap)) {
        logLine(tag + QStringLiteral(": line break inside the packet — synthetic input cannot retype it, standing down"));
        return false;
    }
    const std::optional<PolishTyping::Plan> plan = PolishTyping::plan(have, want, gap, trustGap);
    if (!plan) return false;
    if (plan->backspaces > maxKeys) {
        logLine(tag + QStringLiteral(": пакет %1 клавиш — больше потолка %2, синтетикой не ставлю")
                          .arg(plan->backspaces)
                          .arg(maxKeys));
        return false;
    }
    const QString before = value;
    const quint64 typedAtWrite = engine_.typedGen;
    output_.sendBackspaces(plan->backspaces, TextWriteOrigin::polish);
    std::optional<TextWriteTraceToken> trace;
    if (!plan->insert.isEmpty()) trace = output_.sendUnicode(plan->insert, TextWriteOrigin::polish);
    logLine(tag + QStringLiteral(": синтетикой ") + plan->why);

    Audit audit;
    audit.el = el;
    audit.pid = AXText::ownerPid(el);
    audit.packet = DeliveryRepair::EditPacket{before, qsizetype(caret), plan->erased, plan->insert};
    audit.tag = tag;
    audit.typedAtWrite = typedAtWrite;
    audit.trace = trace;
    polishAuditEdit(audit);
    return true;
}

// The reads count from the moment our keys reached the applications' event stream: on a
// busy machine they may take longer than the first read's delay to get there.
void PolishEditDelivery::polishAuditEdit(Audit audit, std::optional<double> delay) {
    const double wait = delay.value_or(DeliveryRepair::editReadDelays[std::min(audit.read, kReadCount - 1)]);
    std::weak_ptr<bool> alive = alive_;
    auto read = [this, alive, audit, wait] {
        MainQueue::shared().after(wait, [this, alive, audit] {
            const auto token = alive.lock();
            if (!token || !*token) return;
            check(audit);
        });
    };
    if (audit.read == 0) KeyEventPoster::shared().afterLanding(read);
    else read();
}

void PolishEditDelivery::check(const Audit& audit) {
    const std::optional<DeliveryRepair::FieldSnapshot> fresh = DeliveryRepair::snapshot(audit.el);
    if (audit.attempt == 0 && !fresh && audit.read + 1 < kReadCount) {
        if (audit.read == 0) logLine(audit.tag + QStringLiteral(": field unreadable after the packet — reading again"));
        Audit next = audit;
        next.read = audit.read + 1;
        polishAuditEdit(next);
        return;
    }
    const bool userTyped = engine_.typedGen != audit.typedAtWrite;
    const Action verdict = DeliveryRepair::decideEdit(audit.packet, fresh, userTyped, audit.attempt);
    if (!repairEnabled(audit.owner)) {
        logLine(audit.tag + QStringLiteral(": delivery verdict ") + describe(verdict) +
                QStringLiteral(" — repair is switched off (") + switchName(audit.owner) + QStringLiteral(")"));
        return;
    }
    polishActOnEdit(verdict, audit, audit.read + 1, userTyped);
}

void PolishEditDelivery::showCard(const Audit& audit, const QString& reason, const QString& appName) {
    const QString text = audit.repaired.value_or(audit.packet.insert);
    // The card offers to paste the text again: read the field back first, as the audit's
    // reads may have come while the keys were still on their way.
    std::optional<DeliveryRepair::FieldSnapshot> now = DeliveryRepair::snapshot(audit.el);
    if (!now) now = DeliveryRepair::snapshotFocusedField();
    if (now) {
        const qsizetype at = std::max<qsizetype>(audit.packet.eraseStart(), 0);
        const QString& insert = audit.packet.insert;
        // The caret read before the edit may stand before a line end the field already had
        // (a multi-line editor): the text right after that line end counts as well.
        bool there = false;
        for (qsizetype d = 0; d <= 2 && !there; ++d) {
            const QString gap = now->value.mid(at, d);
            there = (d == 0 || gap == QString(d, QLatin1Char('\n'))) && now->value.mid(at + d, insert.size()) == insert;
        }
        if (!text.isEmpty() && !insert.isEmpty() && there) {
            logLine(audit.tag + QStringLiteral(": ") + reason + QStringLiteral(" — but the field holds the text now; no card (") +
                    appName + QStringLiteral(")"));
            return;
        }
    }
    if (audit.trace)
        TextWriteTrace::observe(*audit.trace, [reason] {
            return QStringLiteral("delivery-repair=refused reason=") + reason + DeliveryRepair::loadAvg1Token();
        });
    logLine(audit.tag + QStringLiteral(": ") + reason + QStringLiteral(" — the card offers a manual reinsert of ") +
            QString::number(graphemeCount(text)) + QStringLiteral(" chars (") + appName + QStringLiteral(")") +
            DeliveryRepair::loadAvg1Token());
    DeliveryRepairCardController::shared().show(text, appName, cardKind(audit.owner));
}

bool PolishEditDelivery::heal(const Audit& audit) {
    return healing_.polishHeal(audit.el, audit.packet.before, audit.tag);
}

void PolishEditDelivery::polishActOnEdit(const Action& verdict, const Audit& audit, int reads, bool userTyped) {
    const QString app = applicationName(audit.el);
    const QString& reason = verdict.payload;
    const QString& tag = audit.tag;

    if (verdict.kind == Action::reinsert || verdict.kind == Action::appendTail) {
        if (!LayoutSwitcher::standMode()) {
            const AXElementPtr focused = AXText::focused();
            const std::optional<qint64> focusedPid = focused ? AXText::ownerPid(focused) : std::nullopt;
            if (focusedPid != audit.pid) {
                showCard(audit, QStringLiteral("edit lost, but the focus moved on"), app);
                return;
            }
        }
        const bool whole = verdict.kind == Action::reinsert;
        const QString& text = verdict.payload;
        const int chars = graphemeCount(text);
        if (audit.trace)
            TextWriteTrace::observe(*audit.trace, [whole, chars] {
                return QStringLiteral("delivery-repair=") +
                       (whole ? QStringLiteral("reinsert") : QStringLiteral("append-tail")) +
                       QStringLiteral(" chars=%1").arg(chars) + DeliveryRepair::loadAvg1Token();
            });
        logLine(tag + QStringLiteral(": edit lost — the field holds the erased text without the replacement; ") +
                QStringLiteral("pasting the ") +
                (whole ? QStringLiteral("whole replacement") : QStringLiteral("cut-off tail")) +
                QStringLiteral(" (%1 chars) back via clipboard (").arg(chars) + app + QStringLiteral(")") +
                DeliveryRepair::loadAvg1Token());
        polishRepairPaste(text, repairOrigin(audit.owner));
        Audit next = audit;
        next.read = 0;
        next.attempt = audit.attempt + 1;
        next.repaired = text;
        polishAuditEdit(next, DeliveryRepair::verifyDelay);
        return;
    }

    if (verdict.kind == Action::refuse) {
        if (reason == QLatin1String("packet-landed-crooked") || reason == QLatin1String("field-holds-other-text")) {
            const std::optional<DeliveryRepair::FieldSnapshot> now = DeliveryRepair::snapshot(audit.el);
            const QString value = now ? now->value : QString();
            const qsizetype from = std::min<qsizetype>(std::max<qsizetype>(audit.packet.eraseStart(), 0), value.size());
            logLine(tag + QStringLiteral(": синтетика не легла — в поле «") + priv(value.mid(from, 30)) +
                    QStringLiteral("»"));
            const bool otherText = reason == QLatin1String("field-holds-other-text");
            if (audit.attempt == 0 && !userTyped) {
                if (healsCrookedLanding(audit.owner) && heal(audit)) return;
                if (otherText) showCard(audit, QStringLiteral("edit not in place and the rollback could not undo it"), app);
            } else if (audit.attempt == 0) {
                logLine(tag + QStringLiteral(": не легла, но человек уже печатает — не трогаю"));
                if (otherText) showCard(audit, QStringLiteral("edit not in place while the person kept typing"), app);
            } else {
                logLine(tag + QStringLiteral(": after the repair the field is still not the edited one — leaving it"));
            }
            return;
        }
        if (reason == QLatin1String("user-typed")) {
            logLine(tag + QStringLiteral(": не легла, но человек уже печатает — не трогаю"));
            showCard(audit, QStringLiteral("edit lost while the person kept typing"), app);
            return;
        }
        if (reason == QLatin1String("field-unreadable")) {
            showCard(audit,
                     QStringLiteral("field unreadable %1 reads after the packet — cannot prove the edit landed").arg(reads),
                     app);
            return;
        }
        if (reason == QLatin1String("second-repair-forbidden")) {
            showCard(audit, QStringLiteral("the repair paste did not land either"), app);
            return;
        }
        showCard(audit, reason, app);
        return;
    }

    // Not needed: the edit is in the field, or the field never changed.
    if (audit.trace) {
        const bool first = audit.attempt == 0;
        TextWriteTrace::observe(*audit.trace, [first, reason] {
            return QStringLiteral("delivery-audit=") +
                   (first ? QStringLiteral("confirmed") : QStringLiteral("repair-verified")) +
                   QStringLiteral(" reason=") + reason + DeliveryRepair::loadAvg1Token();
        });
    }
    if (audit.attempt >= 1) {
        logLine(tag + QStringLiteral(": repair verified — the replacement is in the field (") + app + QStringLiteral(")") +
                DeliveryRepair::loadAvg1Token());
    } else if (reason != QLatin1String("edit-landed")) {
        logLine(tag + QStringLiteral(": packet never landed — the text is intact, the edit is dropped (") + app +
                QStringLiteral(")"));
    }
}

void PolishEditDelivery::polishRepairPaste(const QString& text, TextWriteOrigin origin) {
    if (LayoutSwitcher::standMode()) {
        if (ComposeStage* stage = LayoutSwitcher::stage()) stage->machinePaste(text, rawValue(origin));
        return;
    }
    pasteViaClipboard(text, origin);
}

void PolishEditDelivery::auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet,
                                       quint64 typedAtWrite) {
    Audit audit;
    audit.el = el;
    audit.pid = AXText::ownerPid(el);
    audit.packet = packet;
    audit.tag = QStringLiteral("layout/откат");
    audit.typedAtWrite = typedAtWrite;
    audit.owner = EditAuditOwner::undo;
    polishAuditEdit(audit);
}

}  // namespace murmelo
