#pragma once
#include "meetings/MeetingStore.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Participants' names read off the call window: its text is recognised during a recording,
// and the name labels of the tiles become the meeting's name candidates.
namespace MeetingParticipants {

// Seconds after a recording's start at which the window is read.
inline constexpr double SHOTS[] = {20.0, 90.0};
inline constexpr int MIN_LEN = 2;
inline constexpr int MAX_LEN = 40;
inline constexpr int MAX_WORDS = 3;

// The marks a call application puts on the user's own tile, in lower case.
const QStringList& SELF_MARKS();
// Fragments of lower-cased window titles that identify a call window.
const QStringList& CALL_WINDOW_TITLES();
// Lower-case words of call controls and labels: a candidate made only of them is no name.
const QSet<QString>& CHROME();

// Reads the call window and appends the names found to the folder's name candidates; returns
// at once. Main thread.
void collect(const MeetingStore::Folder& folder);
// The names in a recognised text in order of appearance, each once whatever its letter case.
QStringList candidates(const QString& ocrText);
QStringList splitTiles(const QString& line);
std::optional<QString> name(const QString& tile);

}  // namespace MeetingParticipants
}  // namespace murmelo
