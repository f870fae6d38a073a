#pragma once
#include "layout/SystemLayouts.h"

#include <QString>
#include <optional>

namespace murmelo {

// Which of the two profile layouts produced the character of one key press, read from the
// key and its Shift and Option flags under both layouts' key data, whatever source the
// system reports as current.
namespace KeyboardTruth {

// Only Shift and Option count; Caps Lock and every other flag are ignored.
SystemLayouts::Level level(quint64 flags);
// What the key gives at that level on the layout of the language; nothing for a language
// outside the profile, a layout that is not installed or a dead key.
std::optional<QString> translation(quint16 keycode, quint64 flags, const QString& language);
// "ru" or "en" when exactly one of the two layouts produces that text for the press.
std::optional<QString> language(quint16 keycode, quint64 flags, const QString& produced);

// Reads both layouts' key data now, at start-up, so that the first key press does not.
void prepare();

// Reads the layouts again at the next use (tests only; not while other threads read).
void resetForTesting();

}  // namespace KeyboardTruth
}  // namespace murmelo
