#pragma once
#include "dictation/DictationNeighbours.h"

#include <functional>

namespace murmelo {

// Below this peak a take is quiet (logged, still sent).
inline constexpr float SILENCE_PEAK = 0.01f;
// Below this peak a take is silence (not sent).
inline constexpr float QUIET_PEAK_FLOOR = 0.0015f;
// Below this peak the microphone delivered no samples (the recorder is rebuilt).
inline constexpr float DEAD_CAPTURE_PEAK = 0.0005f;
// A detected-language probability below this makes the text suspect.
inline constexpr double LANGP_FLOOR = 0.7;

// From a stopped take to delivered text: reads and trims the file, drops silence and dead
// captures, recognises (server or transducer, one repeat when the server died or a long
// take came back empty), judges the answer, adds it to the history and routes it. The
// completion is called exactly once, on the main thread. Called on the main thread.
void transcribeAndPaste(const StoppedTake& take, std::function<void(DictationVisualCompletion)> completion);

}  // namespace murmelo
