#include "dictation/DictationSeam.h"

#include "dictation/AudioRoute.h"
#include "dictation/DictationPause.h"
#include "dictation/ModelCatalog.h"
#include "dictation/ModelMenuSection.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"
#include "dictation/RecordingHold.h"
#include "dictation/ServerManager.h"
#include "platform/MainQueue.h"

namespace murmelo {

DictationSeam::DictationSeam() {
    tapDictationInstall = [] { RecordingControl::installTapDictation(); };
    recorderPrime = [] { recorder().prime(); };
    recordingHoldStartJanitor = [] { RecordingHold::startJanitor(); };
    recordingHoldSweepAll = [] { RecordingHold::sweep(RecordingHold::tmpDir(), Clock::shared().now(), 0); };
    dictationPauseIsActive = [] { return DictationPause::isActive(); };
    dictationPause = [](int minutes) { DictationPause::pause(minutes); };
    recorderSweepOldRecordings = [] { Recorder::sweepOldRecordings(); };
    recorderSweepLeftovers = [] { Recorder::sweepLeftovers(); };
    audioRouteStartListening = [] { AudioRoute::startListening([] { recorder().inputDeviceChanged(); }); };
    recorderDiscardPrimedIfIdle = [] { recorder().discardPrimedIfIdle(); };
    modelStartDecision = []() -> std::optional<ModelStart> {
        const ModelStartDecision d = murmelo::modelStartDecision();
        ModelStart out;
        out.selectedID = d.selected;
        out.selectedIsKnown = d.selectedIsKnown;
        if (d.model) out.modelID = d.model->id;
        switch (d.kind) {
        case ModelStartDecision::Kind::start: out.kind = ModelStart::Kind::start; break;
        case ModelStartDecision::Kind::substitute: out.kind = ModelStart::Kind::substitute; break;
        case ModelStartDecision::Kind::nothingDownloaded: out.kind = ModelStart::Kind::nothingDownloaded; break;
        }
        return out;
    };
    setSelectedModelID = [](const QString& id) { setSelectedID(id); };
    serverManagerStart = [](const QString& id) {
        if (const auto model = modelWithID(id)) ServerManager::shared().start(*model);
    };
    serverManagerStop = [] { ServerManager::shared().stop(); };
    refreshModelMenu = [] { murmelo::refreshModelMenu(); };
    registerServerPrograms = [] { ServerManager::shared(); };
}

}  // namespace murmelo
