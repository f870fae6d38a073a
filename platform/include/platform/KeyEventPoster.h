#pragma once
#include <QString>
#include <QtGlobal>

#include <functional>

namespace murmelo {

// Modifier flags of key events, with the values the core uses everywhere.
namespace KeyFlags {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;
inline constexpr quint64 command = 0x100000;
}  // namespace KeyFlags

// Where a synthetic event claims to come from. X11 has one synthetic device (XTest), so
// its backend treats both alike; the distinction only paces chords for remote viewers.
enum class KeySourceState { CombinedSession, HIDSystem };

// One synthetic keyboard event. Key codes are the core's virtual key codes; a key down
// may carry a Unicode string that the target inserts instead of the key's own character.
struct KeyEvent {
    quint16 keyCode = 0;
    bool keyDown = true;
    quint64 flags = 0;
    QString unicode;
    // The source user-data field: the program's own mark rides here.
    qint64 userData = 0;
    KeySourceState source = KeySourceState::CombinedSession;
    bool operator==(const KeyEvent&) const = default;
};

// How the application in front takes the keys of text editing.
enum class FrontEditing {
    editor,    // Shift with arrows selects, Command-C copies, Command-V pastes
    terminal,  // selects nothing with the keyboard (Shift with arrows reaches its program as escape codes)
    terminalWithoutClipboardKeys,  // and has no copy or paste shortcut at all (xterm)
};

// Posts synthetic keyboard events into the stream the focused application reads.
class KeyEventPoster {
public:
    virtual ~KeyEventPoster() = default;
    // False when the event could not be posted.
    virtual bool post(const KeyEvent& event) = 0;
    virtual FrontEditing frontEditing() = 0;
    // Calls `landed` once every event posted so far (and every one still held back before
    // it) has reached the event stream the applications read: what reads a field back after
    // our keys reads it then, not after a guess of how long a busy machine takes. At once
    // when nothing is on its way; after a few seconds at most when an event never shows.
    virtual void afterLanding(std::function<void()> landed) = 0;

    static KeyEventPoster& shared();
    static void install(KeyEventPoster* poster);
};

}  // namespace murmelo
