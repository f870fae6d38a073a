#pragma once
// What an end-to-end dictation test leaves behind and puts away: the recording control's state,
// a take still running, the primed recording file, the route, the timing and the activity.
#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"

namespace murmelo::e2e {

inline void endDictations() {
    RecordingControl::resetForTesting();
    if (recorder().isRecording()) recorder().stop();
    recorder().discardPrimedIfIdle();
    forgetPrimedForDeath();
    AudioRoute::resetForTesting();
    DictationTiming::shared().resetForTesting();
    DictationActivity::resetForTesting();
}

}  // namespace murmelo::e2e
