#include "shell/SubsystemLinks.h"

#include "ai/QuickActionUsageStore.h"
#include "ai/QuickActionsTap.h"
#include "ai/QuickActionsUI.h"
#include "dictation/DictationPreparation.h"
#include "cleanup/LangGuess.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/RecordingControl.h"
#include "input/TapConsumers.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/RuForms.h"
#include "platform/KeyEventPoster.h"
#include "polish/LivePolish.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishKnownWords.h"
#include "polish/PolishRoutes.h"
#include "polish/PolishTapConsumer.h"
#include "polish/RewriteGuard.h"
#include "stats/MonthlyStats.h"
#include "vocabulary/CorrectorManager.h"
#include "vocabulary/PersonalDictionary.h"
#include "shell/TypingStatsTap.h"

namespace murmelo {

namespace {

// The polish key, Space and the cancel of a waiting tap reach polish through the switcher,
// whose edit lock and key count polish shares. Both live as long as the process.
PolishRoutes& polishRoutes() {
    LayoutEngineParts& switcher = LayoutEngineParts::application();
    static PolishRoutes* routes = new PolishRoutes(switcher.engine, *switcher.output, PolishKnownWords::application(),
                                                   PolishEditDelivery::shared(), PolishCardController::shared());
    return *routes;
}

}  // namespace

bool SwitcherDictationLink::isRecording() { return murmelo::isRecording(); }
void SwitcherDictationLink::stopRecording() { stopRec(); }

QString DictationPolishLink::rewriteGuardAccept(const QString& original, const QString& candidate,
                                                const QString& layer) {
    return RewriteGuard::accept(original, candidate, layer);
}
void DictationPolishLink::cancelPolishLive() { LivePolish::shared().cancelPolishLive(); }

void SwitcherPolishLink::notePolishDown() { polishRoutes().notePolishDown(); }
void SwitcherPolishLink::notePolishUp() { polishRoutes().notePolishUp(); }
void SwitcherPolishLink::cancelPendingPolish(const QString& reason) { polishRoutes().cancelPendingPolish(reason); }
void SwitcherPolishLink::noteSpaceTyped() { polishRoutes().noteSpaceTyped(); }
// Live polish (switched off by a constant) hears the user's keys through the switcher.
void SwitcherPolishLink::notePolishLiveTyping() { LivePolish::shared().notePolishLiveTyping(); }
// Polish fixes typed by keys, and the switcher's undo packets, are audited in the field.
void SwitcherPolishLink::auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet,
                                       quint64 typedAtWrite) {
    PolishEditDelivery::shared().auditUndoEdit(el, packet, typedAtWrite);
}

std::optional<QString> QuickActionsLink::dictionaryWord(const QString& text) { return PersonalDictionary::normalized(text); }
bool QuickActionsLink::addToDictionary(const QString& word) { return PersonalDictionary::add(word); }
std::pair<int, int> QuickActionsLink::personalPromptFit(const QString& bundleID, const QString& appName) {
    const DictationPromptPlan plan = dictationPromptPlan(DictationContext{bundleID, appName});
    return {plan.personalTotal, plan.personalFit};
}
bool QuickActionsLink::knowsWord(const QString& word) { return PolishKnownWords::application().knowsWord(word); }
std::optional<QString> QuickActionsLink::rewriteRejection(const QString& original, const QString& candidate,
                                                          bool mayShrink, bool mayGrow, bool mayChangeScript) {
    return RewriteGuard::rejectionReason(original, candidate, {mayShrink, mayGrow, mayChangeScript});
}
void QuickActionsLink::noteQuickAction() { MonthlyStats::noteQuickAction(); }
void QuickActionsLink::sendCopyKey() { LayoutSwitcher::shared().parts().sendKey(8, KeyFlags::command); }

QuickActionsController& applicationQuickActions() {
    static QuickActionsLink link;
    static QuickActionsController* controller = [] {
        auto* c = new QuickActionsController(link, QuickActionPanelController::shared(), QuickActionUsageStore::shared());
        QuickActionsController::install(c);
        return c;
    }();
    return *controller;
}

void linkSubsystems() {
    // The application's switcher engine, with its ports to polish and dictation.
    static SwitcherPolishLink switcherPolish;
    static SwitcherDictationLink switcherDictation;
    makeApplicationSwitcher(switcherPolish, switcherDictation);
    // Recording control's neighbours, with polish as their port.
    static DictationPolishLink dictationPolish;
    static DictationNeighbours dictationNeighbours(dictationPolish);
    installService(&dictationNeighbours);
    // The user's key presses feed the typing statistics from the first key on.
    static TypingStatsTap typingStats;
    TapTypingStats::install(&typingStats);
    // The event tap hands mouse and keys to Quick Actions, and asks the cloud result card
    // whether it has the keyboard and what it covers.
    applicationQuickActions();
    static QuickActionsTap quickActionsTap;
    TapQuickActions::install(&quickActionsTap);
    // An unset polish switch follows whether a corrector engine exists.
    TapPolish::whenUnset() = [] { return correctorEngineAtLaunch().has_value(); };
    // The language guess of the clean-up asks the Russian word-form lexicon of the layout models.
    RuFormsLookup::shared().isReady = [] { return RuForms::isReady(); };
    RuFormsLookup::shared().contains = [](const QString& word) { return RuForms::contains(word); };
    // The polish routes hold the known words, the typing of fixes and the polish card.
    polishRoutes();
    // Polish edits are underlined and taken back by the revert chord.
    static PolishTapConsumer polishTap;
    TapPolish::install(&polishTap);
}

}  // namespace murmelo
