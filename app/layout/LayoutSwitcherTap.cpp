#include "layout/LayoutSwitcherTap.h"

#include "base/Log.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutFieldProbe.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutManualConversion.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherHost.h"

namespace murmelo {

QString EngineHost::bufStart() const { return LayoutSwitcher::bufStartName(engine_.bufStart); }

bool EngineHost::selectExactSource(const QString& sourceID, bool retry, const QString& sound,
                                   std::function<void(bool)> completion) {
    if (!engine_.steps.selectExactSource) return false;
    std::optional<QString> cue;
    if (!sound.isEmpty()) cue = sound;
    return engine_.steps.selectExactSource(sourceID, retry, cue, std::move(completion));
}

std::shared_ptr<LayoutBoundaryDecision> connectEngineToHost(LayoutSwitcher& engine, LayoutSwitcherHost& host,
                                                            LayoutOutput& output, LayoutSourceSelection& selection,
                                                            LayoutLexicons* lexicons) {
    bindOutputSteps(engine, output, selection);
    engine.steps.handleAppActivated = [&host](const std::optional<QString>& bundle, const QString& name) {
        host.handleAppActivated(bundle, name);
    };
    engine.steps.noteWordForStats = [&host](const QString& word, bool live) { host.noteWordForStats(word, live); };
    return lexicons ? bindDecisionSteps(engine, *lexicons) : bindDecisionSteps(engine);
}

LayoutEngineParts::LayoutEngineParts(LayoutSwitcher& e, LayoutLexicons* lexicons)
    : engine(e),
      host(e),
      gates(std::make_unique<LayoutAppGates>(e)),
      output(std::make_unique<LayoutOutput>(e, *gates)),
      selection(std::make_unique<LayoutSourceSelection>(e)) {
    decision = connectEngineToHost(engine, host, *output, *selection, lexicons);
    // Remote viewers and excluded applications get no edits.
    connectEngineGates(engine, *gates);
    truth = std::make_unique<LayoutKeyTruth>(engine);
    apply = std::make_unique<LayoutCorrectionApply>(engine, *gates);
    bindKeyTruthSteps(engine, *truth);
    bindCorrectionSteps(engine, *apply);
    manual = std::make_unique<LayoutManualConversion>(engine);
    bindManualConversionSteps(engine, *manual);
    // Live correction scores with the word decision; it and the probes of the field read the
    // focused application through the gates.
    live = std::make_unique<LayoutLiveCorrection>(engine, *gates, *apply, decision);
    fieldProbe = std::make_unique<LayoutFieldProbe>(engine, *gates);
    bindLiveCorrectionSteps(engine, *live);
    bindFieldProbeSteps(engine, *fieldProbe);
}

LayoutEngineParts::~LayoutEngineParts() = default;

void startLayoutSwitcher() {
    LayoutSwitcher& engine = LayoutSwitcher::shared();
    static LayoutSwitcherTap tap(engine);
    static LayoutEngineParts parts(engine);
    TapLayoutSwitcher::install(&tap);
    LayoutSwitcherHost::install(&parts.host);
    // The engine's start follows application switches itself and hands them to the host.
    engine.start();
    logLine(QStringLiteral("layout: движок правит слова на границе и на лету"));
}

}  // namespace murmelo
