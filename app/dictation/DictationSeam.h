#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the dictation subsystem (recorder, held recordings, models and the recognition server). The constructor
// binds the entries whose code exists; the others still do nothing or answer their empty value.
struct DictationSeam {
    static DictationSeam& shared() { return sharedService<DictationSeam>(); }
    DictationSeam();
    // What the model start does.
    struct ModelStart {
        enum class Kind { start, substitute, nothingDownloaded };
        Kind kind = Kind::start;
        QString modelID;     // start: the model; substitute: the one to use
        QString selectedID;  // substitute, nothingDownloaded: the selected identifier
        bool selectedIsKnown = true;
    };

    // Puts recording control behind the event tap's dictation hotkeys; before the tap.
    std::function<void()> tapDictationInstall = unbuilt("tapDictationInstall");
    std::function<void()> recorderPrime = unbuilt("recorderPrime");
    std::function<void()> recorderSweepOldRecordings = [] {};
    // Start-up only, after the sweep: what earlier runs left unfinished.
    std::function<void()> recorderSweepLeftovers = [] {};
    std::function<void()> recordingHoldStartJanitor = unbuilt("recordingHoldStartJanitor");
    // Listens for changes of the audio input route and tells the recorder.
    std::function<void()> audioRouteStartListening = unbuilt("audioRouteStartListening");
    std::function<void()> recorderDiscardPrimedIfIdle = [] {};
    // Removes every recording held for a rollback (a sweep with an age of 0 s).
    std::function<void()> recordingHoldSweepAll = [] {};
    std::function<bool()> dictationPauseIsActive = [] { return false; };
    std::function<void(int minutes)> dictationPause = unbuilt<int>("dictationPause");
    std::function<std::optional<ModelStart>()> modelStartDecision = [] { return std::nullopt; };
    std::function<void(const QString& id)> setSelectedModelID = unbuilt<const QString&>("setSelectedModelID");
    std::function<void(const QString& id)> serverManagerStart = unbuilt<const QString&>("serverManagerStart");
    std::function<void()> serverManagerStop = [] {};
    std::function<void()> refreshModelMenu = unbuilt("refreshModelMenu");
    // Tells the orphan sweep which program is the recognition server; before the sweep.
    std::function<void()> registerServerPrograms = unbuilt("registerServerPrograms");
};

}  // namespace murmelo
