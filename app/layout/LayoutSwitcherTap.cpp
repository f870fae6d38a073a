#include "layout/LayoutSwitcherTap.h"

#include "base/Log.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutSwitcherHost.h"

namespace murmelo {

namespace {

// What the decision models and the per-application prior read of the engine.
class EngineHost : public LayoutSwitcherHost {
public:
    explicit EngineHost(LayoutSwitcher& engine) : engine_(engine) {}
    QString bufStart() const override { return LayoutSwitcher::bufStartName(engine_.bufStart); }
    QString prevWord() const override { return engine_.prevWord(); }
    std::optional<QString> recentLang() const override { return engine_.recentLang; }
    QString liveLayout() const override { return engine_.liveActive ? engine_.liveLayout : QString(); }
    bool hasCorrectionSink() const override { return bool(engine_.correctionSink); }
    bool isEnabled() const override { return engine_.isEnabled(); }
    bool isNativeSwitch() const override { return engine_.isNativeSwitch(); }
    void noteCursorMoved() override { engine_.noteCursorMoved(); }
    std::optional<QString> observedSourceID() const override { return engine_.observedSourceID(); }

private:
    LayoutSwitcher& engine_;
};

}  // namespace

void connectEngineToHost(LayoutSwitcher& engine, LayoutSwitcherHost& host) {
    engine.steps.handleAppActivated = [&host](const std::optional<QString>& bundle, const QString& name) {
        host.handleAppActivated(bundle, name);
    };
    engine.steps.noteWordForStats = [&host](const QString& word, bool live) { host.noteWordForStats(word, live); };
    engine.steps.sourceLayout = [](const QString& word) { return LayoutSwitcherHost::sourceLayout(word); };
    engine.steps.selectExactSource = [&host](const QString& sourceID) { host.selectExactSource(sourceID, false); };
}

void startLayoutSwitcher() {
    LayoutSwitcher& engine = LayoutSwitcher::shared();
    static LayoutSwitcherTap tap(engine);
    static EngineHost host(engine);
    static LayoutAppGates gates(engine);
    TapLayoutSwitcher::install(&tap);
    LayoutSwitcherHost::install(&host);
    connectEngineToHost(engine, host);
    // Remote viewers and excluded applications get no edits.
    connectEngineGates(engine, gates);
    // The engine's start follows application switches itself and hands them to the host.
    engine.start();
    // Without the decision, live correction and undo the engine only follows the words typed:
    // it corrects nothing and lets every key through.
    logLine(QStringLiteral("layout: движок слушает клавиши, но решение и правка слов ещё не собраны — ничего не исправляю"));
}

}  // namespace murmelo
