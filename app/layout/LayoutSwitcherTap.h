#pragma once
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"

namespace murmelo {

// The event tap's way into the switcher engine. Manual conversion and polish gestures are not
// handled by the engine yet and keep the tap's do-nothing answers.
class LayoutSwitcherTap : public TapLayoutSwitcher {
public:
    explicit LayoutSwitcherTap(LayoutSwitcher& engine) : engine_(engine) {}
    bool handleKeyDown(const InputEvent& event) override { return engine_.handleKeyDown(event); }
    void noteCursorMoved() override { engine_.noteCursorMoved(); }
    void noteLeftCommandChanged(bool isDown) override { engine_.noteLeftCommandChanged(isDown); }
    void noteUserShortcut() override { engine_.noteUserShortcut(); }
    // Work that waits compares this count to notice typing meanwhile.
    void noteRealKeyDown() override { ++engine_.typedGen; }

private:
    LayoutSwitcher& engine_;
};

class LayoutSwitcherHost;

// Application switches, finished words, script guesses and source selections go through the host.
void connectEngineToHost(LayoutSwitcher& engine, LayoutSwitcherHost& host);

// Start-up of the application's switcher: the engine starts and the tap hands it every key.
void startLayoutSwitcher();

}  // namespace murmelo
