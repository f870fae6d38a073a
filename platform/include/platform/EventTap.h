#pragma once
#include <QPointF>
#include <QString>
#include <functional>

namespace murmelo {

// Event types as the core numbers them; the two last are the tap's own notices that the
// system switched it off.
enum class InputEventType : quint32 {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    scrollWheel = 22,
    otherMouseDown = 25,
    tapDisabledByTimeout = 0xFFFFFFFE,
    tapDisabledByUserInput = 0xFFFFFFFF,
};

// One event of the global stream. Key codes and flags are the core's (the backend
// translates at its edge); userData carries the program's own mark on events it posted.
struct InputEvent {
    InputEventType type = InputEventType::keyDown;
    qint64 keyCode = 0;
    quint64 flags = 0;
    qint64 userData = 0;
    // The characters a key down produces (at most 16 UTF-16 units are looked at).
    QString unicode;
    bool autorepeat = false;
    qint64 keyboardType = 0;
    // Location in global coordinates with the origin at the top left of the main screen.
    QPointF location;
    qint64 clickState = 0;
    quint64 timestamp = 0;  // nanoseconds of uptime
    qint64 sourcePID = 0;   // below 1: the hardware
    qint64 sourceUserID = 0;
    qint64 sourceGroupID = 0;
    qint64 sourceStateID = 0;
};

// A global event tap: sees every key, modifier and mouse-button event of the session
// before the focused application does, and may swallow key events. The callback runs on
// the main thread and answers true to pass the event on, false to swallow it. A backend
// that can only observe (X11 raw events) erases a swallowed printable key after the fact.
class EventTap {
public:
    using Callback = std::function<bool(const InputEvent&)>;
    virtual ~EventTap() = default;

    // Creates and enables the tap; false when the system refuses (no permission). A new
    // tap replaces an earlier one.
    virtual bool create(Callback callback) = 0;
    virtual bool exists() const = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    // A chord (key code and modifier flags) the program owns: the focused application must
    // never see it, while the callback still does. A tap that swallows in its callback needs
    // nothing more and answers true; a tap that can only observe (X11) grabs the chord. False
    // when the chord is not the program's alone (another program holds it) or no tap exists
    // yet. Chords named before create() are grabbed again by it.
    virtual bool grabChord(int virtualKey, quint64 flags) {
        (void)virtualKey, (void)flags;
        return true;
    }
    virtual void ungrabChord(int virtualKey, quint64 flags) { (void)virtualKey, (void)flags; }

    static EventTap& shared();
    static void install(EventTap* tap);
};

}  // namespace murmelo
