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
// word decision bound is returned for the steps that score words with it.
std::shared_ptr<LayoutBoundaryDecision> connectEngineToHost(LayoutSwitcher& engine, LayoutSwitcherHost& host,
                                                            LayoutOutput& output, LayoutSourceSelection& selection);

// Start-up of the application's switcher: the engine starts and the tap hands it every key.
void startLayoutSwitcher();

}  // namespace murmelo
