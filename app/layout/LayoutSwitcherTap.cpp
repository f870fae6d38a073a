#include "layout/LayoutSwitcherTap.h"

#include "base/Log.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutDisagreement.h"
#include "layout/LayoutFieldProbe.h"
#include "layout/LayoutFlipProbe.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutManualConversion.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherHost.h"

namespace murmelo {

namespace {
LayoutEngineParts* applicationParts = nullptr;
}  // namespace

void LayoutSwitcherTap::noteRightShift(bool down, bool polishBound) { manual_.noteRightShift(down, polishBound); }
void LayoutSwitcherTap::notePolishLiveTyping() { polish_.notePolishLiveTyping(); }
void LayoutSwitcherTap::notePolishDown() { polish_.notePolishDown(); }
void LayoutSwitcherTap::notePolishUp() { polish_.notePolishUp(); }
void LayoutSwitcherTap::noteSpaceTyped() { polish_.noteSpaceTyped(); }

QString EngineHost::bufStart() const { return LayoutSwitcher::bufStartName(engine_.bufStart); }

bool EngineHost::selectExactSource(const QString& sourceID, bool retry, const QString& sound,
                                   std::function<void(bool)> completion) {
    std::optional<QString> cue;
    if (!sound.isEmpty()) cue = sound;
    return selection_.selectExactSource(sourceID, retry, cue, std::move(completion));
}

LayoutEngineParts::LayoutEngineParts(SwitcherPolish& polish, SwitcherDictation& dictation,
                                     SelectionEffects& selectionEffects, LayoutLexicons* lexicons, LayoutRules rules)
    : polish_(polish),
      dictation_(dictation),
      engine(*this, std::move(rules)),
      gates(std::make_unique<LayoutAppGates>(engine)),
      output(std::make_unique<LayoutOutput>(engine, *gates)),
      selection(std::make_unique<LayoutSourceSelection>(engine, selectionEffects)),
      host(engine, *selection),
      decision(std::make_shared<LayoutBoundaryDecision>(engine, lexicons ? *lexicons : LayoutLexicons::shared())),
      truth(std::make_unique<LayoutKeyTruth>(engine)),
      apply(std::make_unique<LayoutCorrectionApply>(engine, *gates)),
      manual(std::make_unique<LayoutManualConversion>(engine)),
      // Live correction scores with the word decision; it and the probes of the field read the
      // focused application through the gates.
      liveWords(std::make_unique<LayoutLiveCorrection::DecisionWords>(*decision)),
      live(std::make_unique<LayoutLiveCorrection>(engine, *gates, *apply, decision, *liveWords)),
      fieldProbe(std::make_unique<LayoutFieldProbe>(engine, *gates)),
      tap(engine, *manual, polish) {}

LayoutEngineParts::~LayoutEngineParts() = default;

bool LayoutEngineParts::consider(const QString& word, QChar boundary, BufStart start, bool onEnter) {
    return decision->consider(word, boundary, start, onEnter);
}
std::optional<QString> LayoutEngineParts::sourceLayout(const QString& word) { return decision->sourceLayout(word); }
void LayoutEngineParts::noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion) {
    LayoutDisagreement(engine).noteDisagreement(word, why, conversion);
}

bool LayoutEngineParts::correct(const QString& word, const QString& to, std::optional<QChar> boundary,
                                const QString& layout, bool nativeOK, const EditRights& rights, CorrectionKind kind) {
    return apply->correct(word, to, boundary, layout, nativeOK, rights, kind);
}
bool LayoutEngineParts::takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture) {
    return apply->takeFlipUndo(gesture, ruleOn, oneGesture);
}

bool LayoutEngineParts::tryStartLive() { return live->tryStartLive(); }
bool LayoutEngineParts::liveType(const QString& ch) { return live->liveType(ch); }
bool LayoutEngineParts::undoLiveOnCodeChar(const QString& ch) { return live->undoLiveOnCodeChar(ch); }
void LayoutEngineParts::undoLiveOnDictEvidence() { live->undoLiveOnDictEvidence(); }

void LayoutEngineParts::flipProbeEnd(const QString& reason) { LayoutFlipProbe::end(engine, reason); }
void LayoutEngineParts::flipProbeLetter() { LayoutFlipProbe::letter(engine); }
void LayoutEngineParts::flipProbeBackspace() { LayoutFlipProbe::backspace(engine); }

std::pair<QString, bool> LayoutEngineParts::keyTruth(const InputEvent& event, const QString& produced,
                                                     bool ownTranslation, bool idleReselect) {
    return truth->handleKey(event, produced, ownTranslation, idleReselect);
}

QString LayoutEngineParts::screenTruthWord(const QString& word) { return fieldProbe->screenTruthWord(word); }
void LayoutEngineParts::scheduleAXEditProbe() { fieldProbe->scheduleAXEditProbe(); }
void LayoutEngineParts::scheduleAXProbeOnMismatch() { fieldProbe->scheduleAXProbeOnMismatch(); }
std::optional<std::pair<QString, int>> LayoutEngineParts::focusedValueAndCaret() {
    return LayoutFieldProbe::focusedValueAndCaret();
}

bool LayoutEngineParts::isRemoteDesktopFrontmost() { return gates->isRemoteDesktopFrontmost(); }
bool LayoutEngineParts::isExcludedAppFocused() { return gates->isExcludedAppFocused(); }

void LayoutEngineParts::sendKey(quint16 keyCode, quint64 flags) { output->sendKey(keyCode, flags); }
std::optional<TextWriteTraceToken> LayoutEngineParts::sendUnicode(const QString& text, TextWriteOrigin origin) {
    return output->sendUnicode(text, origin);
}
void LayoutEngineParts::sendBackspaces(int count, TextWriteOrigin origin) { output->sendBackspaces(count, origin); }
bool LayoutEngineParts::deliverViaAX(int count, const QString& text) { return output->deliverViaAX(count, text); }
TextWriteRoute LayoutEngineParts::deliver(int count, const QString& text, UndoTransport transport) {
    return output->deliver(count, text, transport);
}
void LayoutEngineParts::pasteAtomically(const QString& text, TextWriteOrigin origin) {
    output->pasteAtomically(text, origin);
}
void LayoutEngineParts::probeExcludedFieldCapability() { output->probeExcludedFieldCapability(); }

bool LayoutEngineParts::selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& sound,
                                          std::function<void(bool)> completion) {
    return selection->selectExactSource(sourceID, retry, sound, std::move(completion));
}
bool LayoutEngineParts::selectLayout(const QString& language, bool retry, const std::optional<QString>& sound,
                                     std::function<void(bool)> completion) {
    return selection->selectLayout(language, retry, sound, std::move(completion));
}
std::optional<double> LayoutEngineParts::fireIdleReselect(const QString& sourceID) {
    return selection->fireIdleReselect(sourceID);
}

std::optional<QString> LayoutEngineParts::systemSourceID() { return LayoutSourceSelection::systemSourceID(); }

void LayoutEngineParts::noteWordForStats(const QString& word, bool live) { host.noteWordForStats(word, live); }
void LayoutEngineParts::handleAppActivated(const std::optional<QString>& bundle, const QString& name) {
    host.handleAppActivated(bundle, name);
}

std::optional<QString> LayoutEngineParts::frontAppPrior() { return LayoutSwitcherHost::frontAppPrior(); }

void LayoutEngineParts::noteRightShift(bool down, bool polishBound) { manual->noteRightShift(down, polishBound); }

void LayoutEngineParts::notePolishDown() { polish_.notePolishDown(); }
void LayoutEngineParts::notePolishUp() { polish_.notePolishUp(); }
void LayoutEngineParts::cancelPendingPolish(const QString& reason) { polish_.cancelPendingPolish(reason); }
void LayoutEngineParts::noteSpaceTyped() { polish_.noteSpaceTyped(); }
void LayoutEngineParts::notePolishLiveTyping() { polish_.notePolishLiveTyping(); }
void LayoutEngineParts::auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet,
                                      quint64 typedAtWrite) {
    polish_.auditUndoEdit(el, packet, typedAtWrite);
}

bool LayoutEngineParts::isRecording() { return dictation_.isRecording(); }
void LayoutEngineParts::stopRecording() { dictation_.stopRecording(); }

LayoutEngineParts& makeApplicationSwitcher(SwitcherPolish& polish, SwitcherDictation& dictation) {
    static SwitchSoundEffects sound;
    static LayoutEngineParts* parts = new LayoutEngineParts(polish, dictation, sound);  // lives as long as the process
    LayoutSwitcher::install(&parts->engine);
    LayoutSwitcherHost::install(&parts->host);
    applicationParts = parts;
    return *parts;
}

LayoutEngineParts& LayoutEngineParts::application() {
    if (!applicationParts) qFatal("layout: the switcher engine is asked for before the shell made it");
    return *applicationParts;
}

void startLayoutSwitcher() {
    LayoutEngineParts& parts = LayoutEngineParts::application();
    TapLayoutSwitcher::install(&parts.tap);
    // The engine's start follows application switches itself and hands them to the host.
    parts.engine.start();
    logLine(QStringLiteral("layout: движок правит слова на границе и на лету"));
}

}  // namespace murmelo
