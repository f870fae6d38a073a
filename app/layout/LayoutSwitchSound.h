#pragma once
#include <QString>

#include <functional>
#include <optional>

namespace murmelo::LayoutSwitchSound {

// The short sound after the engine switched the input source: which layout is active now,
// or that a correction was rolled back.
enum class Cue { ru, en, rollback };

QString rawValue(Cue cue);
std::optional<Cue> cueFromRaw(const QString& raw);
// The sound of a cue: "Pop", "Tink", "Bottle".
QString soundName(Cue cue);

inline const QString DEFAULTS_KEY = QStringLiteral("layoutSwitchSound");

// On until the user turns it off; read afresh on every play.
bool isEnabled();
void setEnabled(bool on);

// True when MURMELO_LAYOUT_SOUND is "0"; read once per process.
bool envOff();
// The rule behind envOff for one value of the variable (none when it is not set).
bool envValueSilences(const std::optional<QByteArray>& value);

// When set, cues that pass the gates go here instead of being played. Main thread.
extern std::function<void(Cue)> sink;

bool shouldPlay(bool enabled, bool envOff, bool standMode);

// Main thread; never waits for audio: loading and playing happen on a serial background queue.
void play(Cue cue);

// The cue of the layout an input source types; none for other sources and for none.
std::optional<Cue> cue(const std::optional<QString>& sourceID);

// Returns once the background queue has done everything given to it so far.
void waitUntilIdle();
// Drops the loaded sounds and waits for that, so that a player can be replaced (tests).
void forgetSounds();

}  // namespace murmelo::LayoutSwitchSound
