#pragma once
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherHost.h"

#include <memory>

namespace murmelo {

// The event tap's way into the switcher engine. The polish key and Space reach polish through
// the engine's steps; the right Shift goes to manual conversion, which hands a polish-key press
// on to polish when the right Shift is also the polish key.
class LayoutSwitcherTap : public TapLayoutSwitcher {
public:
    explicit LayoutSwitcherTap(LayoutSwitcher& engine) : engine_(engine) {}
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
    void noteRightShift(bool down, bool polishBound) override {
        if (engine_.steps.noteRightShift) engine_.steps.noteRightShift(down, polishBound);
    }
    void notePolishLiveTyping() override {
        if (engine_.steps.notePolishLiveTyping) engine_.steps.notePolishLiveTyping();
    }
    void notePolishDown() override {
        if (engine_.steps.notePolishDown) engine_.steps.notePolishDown();
    }
    void notePolishUp() override {
        if (engine_.steps.notePolishUp) engine_.steps.notePolishUp();
    }
    void noteSpaceTyped() override {
        if (engine_.steps.noteSpaceTyped) engine_.steps.noteSpaceTyped();
    }

private:
    LayoutSwitcher& engine_;
};

class LayoutBoundaryDecision;
class LayoutOutput;
class LayoutSourceSelection;

// The host the application gives its engine: the decision models read the engine's word state
// through it, and its source selections are the engine's own, with ticket and verification.
class EngineHost : public LayoutSwitcherHost {
public:
    explicit EngineHost(LayoutSwitcher& engine) : engine_(engine) {}
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
};

// Application switches, finished words, script guesses and source selections go through the
// host; writes into the field and source selections through the output and selection. The
// word decision bound is returned for the steps that score words with it. Without word tables
// given, the decision uses the application's.
class LayoutLexicons;
std::shared_ptr<LayoutBoundaryDecision> connectEngineToHost(LayoutSwitcher& engine, LayoutSwitcherHost& host,
                                                            LayoutOutput& output, LayoutSourceSelection& selection,
                                                            LayoutLexicons* lexicons = nullptr);

class LayoutAppGates;
class LayoutKeyTruth;
class LayoutCorrectionApply;
class LayoutManualConversion;
class LayoutLiveCorrection;
class LayoutFieldProbe;

// Everything the engine writes, selects, judges and probes with, joined to it as the
// application joins them; an end-to-end test builds the same set around its own engine.
// Without word tables given, the decision uses the application's.
struct LayoutEngineParts {
    explicit LayoutEngineParts(LayoutSwitcher& engine, LayoutLexicons* lexicons = nullptr);
    ~LayoutEngineParts();
    LayoutEngineParts(const LayoutEngineParts&) = delete;
    LayoutEngineParts& operator=(const LayoutEngineParts&) = delete;

    LayoutSwitcher& engine;
    EngineHost host;
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutOutput> output;
    std::unique_ptr<LayoutSourceSelection> selection;
    std::shared_ptr<LayoutBoundaryDecision> decision;
    std::unique_ptr<LayoutKeyTruth> truth;
    std::unique_ptr<LayoutCorrectionApply> apply;
    std::unique_ptr<LayoutManualConversion> manual;
    std::unique_ptr<LayoutLiveCorrection> live;
    std::unique_ptr<LayoutFieldProbe> fieldProbe;
};

// Start-up of the application's switcher: the engine starts and the tap hands it every key.
void startLayoutSwitcher();

}  // namespace murmelo
