#pragma once
#include "layout/LayoutGates.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "sim/SimAccessibility.h"
#include "sim/SimComposeStage.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"

#include <memory>

namespace murmelo::test {

// What a physical key (named by its US character) types under an input source.
inline QString typedUnder(const QString& sourceID, const QString& key) {
    const std::optional<QString> lang = ManualInputSourceProfileV1::language(sourceID);
    if (!lang || *lang == QLatin1String("en")) return key;
    const std::optional<QString> out = LayoutMaps::convert(key, QStringLiteral("en"), *lang);
    return out && !out->isEmpty() ? out->left(1) : key;
}

// The engine in stand mode over a stage on a field of the simulated desktop, joined to its
// host, gates, output and source selection as the application joins them. The system's keys,
// clipboard and accessibility are simulated too, so that anything leaking past the stage shows.
struct StandFixture : SwitcherFixture {
    sim::SimPasteboard pasteboard;
    ScopedService<Pasteboard> pasteboardScope{pasteboard};
    sim::SimKeyPoster keys{desktop, pasteboard};
    ScopedService<KeyEventPoster> keysScope{keys};
    sim::SimAccessibility ax{desktop};
    ScopedService<Accessibility> axScope{ax};
    std::shared_ptr<sim::SimField> field;
    std::unique_ptr<sim::SimComposeStage> stage;
    std::unique_ptr<LayoutAppGates> gates;
    std::unique_ptr<LayoutOutput> output;
    HeardCues heard;
    std::unique_ptr<LayoutSourceSelection> selection;
    std::unique_ptr<EngineHost> host;
    std::unique_ptr<ScopedService<LayoutSwitcherHost>> hostScope;

    static inline const QString US = QStringLiteral("com.apple.keylayout.US");
    static inline const QString RU = QStringLiteral("com.apple.keylayout.Russian");

    void SetUp() override {
        SwitcherFixture::SetUp();
        env.defaults().set("layoutSwitchEnabled", true);
        openStand(QStringLiteral("org.kde.kate"), QStringLiteral("Kate"));
        LayoutSwitcher::setStandMode(true);
        wire();
    }
    void TearDown() override { LayoutSwitcher::setStage(nullptr); }

    // A new stage on an empty field of the application, which comes to the front.
    void openStand(const QString& bundle, const QString& name) {
        desktop.addApp(bundle, name);
        field = desktop.addField(bundle, QStringLiteral("AXTextArea"));
        desktop.focus(bundle, field);
        stage = std::make_unique<sim::SimComposeStage>(US, field);
        stage->fieldElement = ax.elementFor(field);
        stage->keyMap = typedUnder;
        LayoutSwitcher::setStage(stage.get());
    }
    void wire() {
        engine->loaded = true;
        hostScope.reset();
        host.reset();
        selection.reset();
        gates = std::make_unique<LayoutAppGates>(*engine);
        output = std::make_unique<LayoutOutput>(*engine, *gates);
        selection = std::make_unique<LayoutSourceSelection>(*engine, heard);
        host = std::make_unique<EngineHost>(*engine, *selection);
        hostScope = std::make_unique<ScopedService<LayoutSwitcherHost>>(*host);
        useOutput(steps, *output, *selection);
        useHost(steps, *host);
        useDecision(steps, *engine, LayoutLexicons::shared());
        useGates(steps, *gates);
    }
    // The user presses physical keys (named by their US characters): the engine sees what its
    // key table reads, the field gets what the keyboard types unless the engine swallowed it.
    void typeKeys(const QString& usKeys) {
        for (QChar k : usKeys) {
            const QString key(k);
            InputEvent e;
            e.unicode = stage->rendered(key);
            const bool swallowed = engine->handleKeyDown(e);
            stage->humanKey(stage->delivered(key), swallowed);
            stage->tickKeystroke();
            env.advance(0);
        }
    }
};

}  // namespace murmelo::test
