#pragma once
#include <QString>

namespace murmelo {

// The user's pause of dictation for some minutes (offered by the quit confirmation). The
// end is stored, so a pause outlives a restart; no timer runs, readers compare with the
// clock.
namespace DictationPause {

inline const QString KEY = QStringLiteral("dictationPausedUntil");

// The end of the pause in seconds since 1970; 0: none.
double until();
void setUntil(double secondsSince1970);
bool isActive();
// Whole minutes left, rounded up; 0 when there is no pause.
int minutesLeft();
void pause(int minutes);
void resume();

}  // namespace DictationPause
}  // namespace murmelo
