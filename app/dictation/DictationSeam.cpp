#include "dictation/DictationSeam.h"

#include "dictation/AudioRoute.h"
#include "dictation/Recorder.h"

namespace murmelo {

DictationSeam::DictationSeam() {
    recorderPrime = [] { recorder().prime(); };
    recorderSweepOldRecordings = [] { Recorder::sweepOldRecordings(); };
    audioRouteStartListening = [] { AudioRoute::startListening([] { recorder().inputDeviceChanged(); }); };
    recorderDiscardPrimedIfIdle = [] { recorder().discardPrimedIfIdle(); };
}

}  // namespace murmelo
