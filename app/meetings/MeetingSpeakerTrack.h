#pragma once
#include "base/SerialQueue.h"
#include "meetings/MeetingStore.h"

#include <QString>

namespace murmelo {

// An optional log of what the call window showed during a recording, for later study of who
// spoke when: every 2 s its accessibility tree when that changed, every 30 s its recognised
// text, as JSON lines in the meeting folder. Nothing in the program reads the file back.
namespace MeetingSpeakerTrack {

inline const QString FILE = QStringLiteral("speaker-track.jsonl");
inline const QString SETTING = QStringLiteral("meetingSpeakerTrack");
inline constexpr double AX_PERIOD = 2.0;
inline constexpr double OCR_PERIOD = 30.0;
inline constexpr qint64 MAX_BYTES = 8388608;
inline constexpr int MAX_DEPTH = 12;
inline constexpr int MAX_NODES = 400;
inline constexpr double SWEEP_BUDGET = 0.4;
inline constexpr int OCR_TEXT_LIMIT = 4000;

// The setting; absent means off.
bool isEnabled();
// Starts tracking the folder of a recording that has just started. Main thread.
void start(const MeetingStore::Folder& folder);
// Ends the track; a sweep or recognition still under way for it writes nothing. Main thread.
void stop();

// The front window's visible element texts and flags, one line per element, depth first.
QString sweep(qint32 pid);
// Where the sweeps and the writes run.
SerialQueue& queue();

}  // namespace MeetingSpeakerTrack
}  // namespace murmelo
