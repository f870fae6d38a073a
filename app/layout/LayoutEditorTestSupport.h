#pragma once
#include "input/AXText.h"
#include "input/ClipboardManager.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "platform/KeyEventPoster.h"
#include "sim/SimAccessibility.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"

#include <memory>

namespace murmelo::test {

// A switcher engine with its hands on a simulated desktop: pasteboard, keys and accessibility,
// and an empty field in Kate with the focus. makeOutput() binds the engine's own key output.
// Pastes go through a clipboard manager of the fixture's own: the process-wide one would keep
// this pasteboard after the test is gone.
struct EditorFixture : SwitcherFixture {
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster keys{desktop, pasteboard};
    sim::SimAccessibility ax{desktop};
    ScopedService<Pasteboard> pasteboardScope{pasteboard};
    ClipboardManager clipboard{&pasteboard};
    ScopedService<ClipboardManager> clipboardScope{clipboard};
    ScopedService<KeyEventPoster> keysScope{keys};
    ScopedService<Accessibility> axScope{ax};
    std::shared_ptr<sim::SimField> field;
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutOutput> out;

    void SetUp() override {
        SwitcherFixture::SetUp();
        AXText::resetForTesting();
        desktop.addApp("org.kde.kate", "Kate");
        field = desktop.addField("org.kde.kate", "AXTextArea", "");
        desktop.focus("org.kde.kate", field);
    }
    void TearDown() override { AXText::resetForTesting(); }

    // The gates and the output around the current engine.
    void makeOutput() {
        gates = std::make_unique<LayoutAppGates>(*engine);
        out = std::make_unique<LayoutOutput>(*engine, *gates);
    }
};

}  // namespace murmelo::test
