#pragma once
#include "input/TapConsumers.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/SwitcherDictation.h"
#include "layout/SwitcherPolish.h"

#include <memory>

namespace murmelo {

class LayoutManualConversion;

// The event tap's way into the switcher engine. The polish key and Space reach polish through
// its port; the right Shift goes to manual conversion, which hands a polish-key press on to
// polish when the right Shift is also the polish key.
class LayoutSwitcherTap : public TapLayoutSwitcher {
public:
    LayoutSwitcherTap(LayoutSwitcher& engine, LayoutManualConversion& manual, SwitcherPolish& polish)
        : engine_(engine), manual_(manual), polish_(polish) {}
    bool handleKeyDown(const InputEvent& event) override { return engine_.handleKeyDown(event); }
    void noteCursorMoved() override { engine_.noteCursorMoved(); }
    void noteLeftCommandChanged(bool isDown) override { engine_.noteLeftCommandChanged(isDown); }
    void noteUserShortcut() override { engine_.noteUserShortcut(); }
    // Work that waits compares this count to notice typing meanwhile; a key between two
    // right-Shift presses makes them no gesture.
    void noteRealKeyDown() override {
        ++engine_.typedGen;
        engine_.keyBetweenShifts = true;
    }
    void noteRightShift(bool down, bool polishBound) override;
    void notePolishLiveTyping() override;
    void notePolishDown() override;
    void notePolishUp() override;
    void noteSpaceTyped() override;

private:
    LayoutSwitcher& engine_;
    LayoutManualConversion& manual_;
    SwitcherPolish& polish_;
};

class LayoutBoundaryDecision;
class LayoutOutput;
class LayoutSourceSelection;

// The host the application gives its engine: the decision models read the engine's word state
// through it, and its source selections are the engine's own, with ticket and verification.
class EngineHost : public LayoutSwitcherHost {
public:
    EngineHost(LayoutSwitcher& engine, LayoutSourceSelection& selection) : engine_(engine), selection_(selection) {}
    QString bufStart() const override;
    QString prevWord() const override { return engine_.prevWord(); }
    std::optional<QString> recentLang() const override { return engine_.recentLang; }
    QString liveLayout() const override { return engine_.liveActive ? engine_.liveLayout : QString(); }
    bool hasCorrectionSink() const override { return bool(engine_.correctionSink); }
    bool isEnabled() const override { return engine_.isEnabled(); }
    bool isNativeSwitch() const override { return engine_.isNativeSwitch(); }
    void noteCursorMoved() override { engine_.noteCursorMoved(); }
    std::optional<QString> observedSourceID() const override { return engine_.observedSourceID(); }
    bool selectExactSource(const QString& sourceID, bool retry, const QString& sound = {},
                           std::function<void(bool)> completion = {}) override;

private:
    LayoutSwitcher& engine_;
    LayoutSourceSelection& selection_;
};

class LayoutAppGates;
class LayoutKeyTruth;
class LayoutCorrectionApply;
class LayoutFieldProbe;
class LayoutLexicons;

// The switcher engine composed of its parts: the engine keeps the word and handles keys, and
// each question it or a part asks (LayoutParts) is answered here by the one part that owns it.
// Polish and dictation, outside the engine, are reached through their ports; the cues of its
// selections go to the effects it is given. The application
// makes one at start-up; an end-to-end test builds its own the same way. Without word tables
// given, the decision uses the application's.
class LayoutEngineParts final : public LayoutParts {
public:
    LayoutEngineParts(SwitcherPolish& polish, SwitcherDictation& dictation, SelectionEffects& selectionEffects,
                      LayoutLexicons* lexicons = nullptr, LayoutRules rules = LayoutRules::shared());
    ~LayoutEngineParts() override;
    LayoutEngineParts(const LayoutEngineParts&) = delete;
    LayoutEngineParts& operator=(const LayoutEngineParts&) = delete;

    bool consider(const QString& word, QChar boundary, BufStart start, bool onEnter) override;
    std::optional<QString> sourceLayout(const QString& word) override;
    void noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion) override;
    bool correct(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                 bool nativeOK, const EditRights& rights, CorrectionKind kind) override;
    bool takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture) override;
    bool tryStartLive() override;
    bool liveType(const QString& ch) override;
    bool undoLiveOnCodeChar(const QString& ch) override;
    void undoLiveOnDictEvidence() override;
    void flipProbeEnd(const QString& reason) override;
    void flipProbeLetter() override;
    void flipProbeBackspace() override;
    std::pair<QString, bool> keyTruth(const InputEvent& event, const QString& produced, bool ownTranslation,
                                      bool idleReselect) override;
    QString screenTruthWord(const QString& word) override;
    void scheduleAXEditProbe() override;
    void scheduleAXProbeOnMismatch() override;
    std::optional<std::pair<QString, int>> focusedValueAndCaret() override;
    bool isRemoteDesktopFrontmost() override;
    bool isExcludedAppFocused() override;
    void sendKey(quint16 keyCode, quint64 flags) override;
    std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin) override;
    void sendBackspaces(int count, TextWriteOrigin origin) override;
    bool deliverViaAX(int count, const QString& text) override;
    TextWriteRoute deliver(int count, const QString& text, UndoTransport transport) override;
    void pasteAtomically(const QString& text, TextWriteOrigin origin) override;
    void probeExcludedFieldCapability() override;
    bool selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& sound,
                           std::function<void(bool)> completion) override;
    bool selectLayout(const QString& language, bool retry, const std::optional<QString>& sound,
                      std::function<void(bool)> completion) override;
    std::optional<double> fireIdleReselect(const QString& sourceID) override;
    std::optional<QString> systemSourceID() override;
    void noteWordForStats(const QString& word, bool live) override;
    void handleAppActivated(const std::optional<QString>& bundle, const QString& name) override;
    std::optional<QString> frontAppPrior() override;
    void noteRightShift(bool down, bool polishBound) override;
    void notePolishDown() override;
    void notePolishUp() override;
    void cancelPendingPolish(const QString& reason) override;
    void noteSpaceTyped() override;
    void notePolishLiveTyping() override;
    void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet, quint64 typedAtWrite) override;
    bool isRecording() override;
    void stopRecording() override;

private:
    SwitcherPolish& polish_;
    SwitcherDictation& dictation_;

public:
    LayoutSwitcher engine;
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutOutput> output;
    std::unique_ptr<LayoutSourceSelection> selection;
    EngineHost host;
    std::shared_ptr<LayoutBoundaryDecision> decision;
    std::unique_ptr<LayoutKeyTruth> truth;
    std::unique_ptr<LayoutCorrectionApply> apply;
    std::unique_ptr<LayoutManualConversion> manual;
    std::unique_ptr<LayoutLiveCorrection::DecisionWords> liveWords;
    std::unique_ptr<LayoutLiveCorrection> live;
    std::unique_ptr<LayoutFieldProbe> fieldProbe;
    // The event tap's way in.
    LayoutSwitcherTap tap;

    // The application's engine; the program stops when asked for it before the shell made it.
    static LayoutEngineParts& application();
};

// The application's engine, made once by the shell: it becomes LayoutSwitcher::shared() and
// the host the decision models read.
LayoutEngineParts& makeApplicationSwitcher(SwitcherPolish& polish, SwitcherDictation& dictation);

// Start-up of the application's switcher: the engine starts and the tap hands it every key.
void startLayoutSwitcher();

}  // namespace murmelo
