#pragma once
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

namespace murmelo {

// A modifier key that can serve as a hotkey: its virtual key code, the flag bit that is
// set while it is held, and the name shown in logs, menus and pickers.
struct HotkeyDef {
    qint64 code = 0;
    quint64 mask = 0;
    QString name;
    bool operator==(const HotkeyDef&) const = default;
};

inline constexpr qint64 DEFAULT_DICTATION_HOTKEY_CODE = 54;
inline constexpr qint64 DEFAULT_COMMAND_HOTKEY_CODE = 61;
inline constexpr qint64 DEFAULT_POLISH_HOTKEY_CODE = 60;
inline constexpr qint64 COMMAND_HOTKEY_OFF = -1;
inline constexpr qint64 POLISH_HOTKEY_OFF = -1;
extern const QString OFF_HOTKEY_TITLE;

// Right Command, right Option, right Shift, left Command, Fn; in picker order. On Linux
// Command is Ctrl and Option is Alt, and the names say so.
const std::array<HotkeyDef, 5>& HOTKEY_OPTIONS();

namespace HotkeyKeys {
inline const QString dictation = QStringLiteral("murmelo.hotkeyCode");
inline const QString command = QStringLiteral("murmelo.commandHotkeyCode");
inline const QString polish = QStringLiteral("murmelo.polishHotkeyCode");
inline const QString commandLastEnabled = QStringLiteral("murmelo.commandHotkeyLastEnabledCode");
}  // namespace HotkeyKeys

// Reading: each reads the stored codes afresh.
HotkeyDef currentHotkey();
std::optional<HotkeyDef> currentCommandHotkey();
std::optional<HotkeyDef> currentPolishHotkey();
std::optional<HotkeyDef> resolveCommandHotkey(qint64 commandCode, qint64 dictationCode);
std::optional<HotkeyDef> resolvePolishHotkey(qint64 polishCode, qint64 dictationCode,
                                             std::optional<qint64> commandCode);

// The cached hotkeys the event tap reads on every modifier change (main thread only).
const HotkeyDef& activeHotkey();
const std::optional<HotkeyDef>& activeCommandHotkey();
const std::optional<HotkeyDef>& activePolishHotkey();
QString commandHotkeyName();
QString polishHotkeyName();
// A hotkey's name in the interface language (logs keep `name`); "off" for none.
QString hotkeyTitle(const std::optional<HotkeyDef>& hotkey);

// Changing (settings window, onboarding).
void setHotkey(qint64 code);
void setCommandHotkey(qint64 code);
void disableCommandHotkey();
void setCommandHotkeyEnabled(bool enabled);
void setPolishHotkey(qint64 code);
void disablePolishHotkey();
void refreshCommandHotkey();
void refreshPolishHotkey();

// Decides press and release of modifier hotkeys per key. The flags of a modifier change
// only say that some key of that kind is held: with left Command held, releasing right
// Command leaves the Command flag set. So a change of a key that is already down is its
// release, whatever the flags say; a cleared flag is always a release.
class HotkeyKeyState {
public:
    // True when this modifier change presses the hotkey's key, false when it releases it.
    bool isDown(const HotkeyDef& hotkey, qint64 keyCode, quint64 flags);
    bool isHeld(qint64 keyCode) const { return (held_ & bit(keyCode)) != 0; }
    void reset() { held_ = 0; }

private:
    static quint64 bit(qint64 keyCode) { return keyCode >= 0 && keyCode < 64 ? quint64(1) << keyCode : 0; }
    quint64 held_ = 0;
};

// Forgets the cached hotkeys so that the next read computes them afresh.
void resetHotkeyCacheForTesting();

}  // namespace murmelo
