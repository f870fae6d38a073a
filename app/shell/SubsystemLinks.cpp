#include "shell/SubsystemLinks.h"

#include "ai/QuickActionsTap.h"
#include "cleanup/LangGuess.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/RecordingControl.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/RuForms.h"
#include "polish/LivePolish.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishJournal.h"
#include "polish/PolishKnownWords.h"
#include "polish/PolishResult.h"
#include "polish/PolishRoutes.h"
#include "polish/PolishShare.h"
#include "polish/PolishTapConsumer.h"
#include "polish/PolishUnderline.h"
#include "polish/RewriteGuard.h"
#include "vocabulary/CorrectorManager.h"
#include "shell/TypingStatsTap.h"

namespace murmelo {

namespace {

// The polish key, Space and the cancel of a waiting tap reach polish through the switcher,
// whose edit lock and key count polish shares. Both live as long as the process.
PolishRoutes& polishRoutes() {
    static PolishRoutes* routes = new PolishRoutes(LayoutSwitcher::shared());
    return *routes;
}

}  // namespace

bool SwitcherDictationLink::isRecording() { return murmelo::isRecording(); }
void SwitcherDictationLink::stopRecording() { stopRec(); }

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

void linkSubsystems() {
    // The application's switcher engine, with its ports to polish and dictation.
    static SwitcherPolishLink switcherPolish;
    static SwitcherDictationLink switcherDictation;
    makeApplicationSwitcher(switcherPolish, switcherDictation);
    // The user's key presses feed the typing statistics from the first key on.
    static TypingStatsTap typingStats;
    TapTypingStats::install(&typingStats);
    // The event tap asks the cloud result card whether it has the keyboard and what it covers.
    static QuickActionsTap quickActionsTap;
    TapQuickActions::install(&quickActionsTap);
    // An unset polish switch follows whether a corrector engine exists.
    TapPolish::whenUnset() = [] { return correctorEngineAtLaunch().has_value(); };
    // The language guess of the clean-up asks the Russian word-form lexicon of the layout models.
    RuFormsLookup::shared().isReady = [] { return RuForms::isReady(); };
    RuFormsLookup::shared().contains = [](const QString& word) { return RuForms::contains(word); };
    // Cleaned dictation passes the same rewrite guard as polish and Quick Actions.
    DictationNeighbours::shared().rewriteGuardAccept = [](const QString& original, const QString& candidate,
                                                          const QString& layer) {
        return RewriteGuard::accept(original, candidate, layer);
    };
    // Live polish stands down when a dictation starts.
    DictationNeighbours::shared().cancelPolishLive = [] { LivePolish::shared().cancelPolishLive(); };
    polishRoutes();
    // Every polish result, live ones too, comes from the one result step; a trusted model may
    // replace only the words polish does not protect.
    PolishShare::shared().polishProtects = [](const QString& word) {
        static PolishKnownWords known = PolishKnownWords::application();
        return known.polishProtects(word);
    };
    // Every polish write is noted in the journal; its edits and its notes go to the polish card.
    const auto journalNote = [](const QString& rule, const QString& before, const QString& after, qint64 at,
                                std::optional<qint64> pid) {
        PolishJournal::note(rule, before, after, at, pid ? std::optional<qint32>(qint32(*pid)) : std::nullopt);
    };
    PolishShare::shared().journalNote = journalNote;
    PolishShare::shared().showEdits = [](const QString& before, const QString& after) {
        PolishCardController::shared().show(PolishDiff::compute(before, after));
    };
    PolishShare::shared().showNote = [](const QString& note, bool isShort) {
        PolishCardController::shared().showNote(note, isShort);
    };
    // Polish edits are underlined and taken back by the revert chord.
    static PolishTapConsumer polishTap;
    TapPolish::install(&polishTap);
    const auto typeFix = [](const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                            const QString& want, const QString& tag, qint64 maxKeys, bool trustGap) {
        return PolishEditDelivery::shared().polishTypeFix(el, value, fix, caret, have, want, tag, maxKeys, trustGap);
    };
    const auto underline = [](const AXElementPtr& el, qint64 base, const QString& before, const QString& after) {
        PolishUnderline::show(el, base, before, after);
    };
    PolishShare::shared().polishTypeFix = typeFix;
    PolishShare::shared().underline = underline;
}

}  // namespace murmelo
