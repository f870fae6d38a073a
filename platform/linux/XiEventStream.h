#pragma once
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <thread>

namespace murmelo {
class MainQueue;
}

namespace murmelo::linuxdesktop {

// One event of the global input stream, in the core's terms.
struct StreamEvent {
    enum class Kind { KeyDown, KeyUp, FlagsChanged, MouseDown, MouseUp, Scroll };
    Kind kind = Kind::KeyDown;
    int keyCode = -1;      // the core's virtual key code; -1 for a key the table lacks
    int xKeycode = 0;      // the X key code, or the button number for mouse events
    quint64 flags = 0;     // modifier flags after this event
    bool own = false;      // posted by this program (XTest device and in the ledger)
    qint64 userData = 0;   // the user data our poster gave it; 0 for others' events
    QString text;          // what a key down types in the current layout group ("\r" for Return,
                           // "\t" for Tab); empty for keys that type nothing
    int x = 0, y = 0;      // pointer position on the root window, for mouse events
    bool repeat = false;   // a key down the server repeats while the key is held
    bool pressed = false;  // a press (key, modifier or button), not a release
    quint64 seq = 0;       // the user's key downs and clicks: its number in UserKeys; 0 for ours
    bool contextChanged = false;  // the layout group or the front window changed since the
                                  // previous event (DesktopContext)
};

// The global input stream of an X11 desktop: XInput2 raw events on the root window, read
// on a thread of its own with an X connection of its own and handed to the main thread.
// Raw events come from every client and device whatever window has the focus. Events of
// the XTest devices are ours when the own-event ledger expected them, another program's
// (the user's, as far as we can tell) otherwise. Observing never swallows anything:
// chords the program owns need passive grabs, and a printable key that the core wants
// swallowed after the fact must be erased by the caller.
class XiEventStream {
public:
    // The handler runs on the main thread. Waits for the stream's X handshake at most
    // HANDSHAKE_TIMEOUT seconds; a server that does not answer by then leaves the stream
    // not running.
    explicit XiEventStream(std::function<void(const StreamEvent&)> handler);
    ~XiEventStream();
    XiEventStream(const XiEventStream&) = delete;
    XiEventStream& operator=(const XiEventStream&) = delete;

    // XInput 2 is there and the thread listens.
    bool isRunning() const;

    // Passive grabs on the root window: the key with exactly these modifiers (X state
    // bits; Caps Lock and Num Lock do not matter) then goes to us alone, no longer to the
    // focused window, while the stream still reports it. For chords the program owns.
    // Made on the stream's thread; in force when the call returns (waits at most
    // GRAB_TIMEOUT seconds). False, with a log line, when the server refused (another
    // program holds the chord) or did not answer in time.
    bool grabKey(int xKeycode, unsigned xModifiers);
    void ungrabKey(int xKeycode, unsigned xModifiers);

    // Runs fn on the main thread after the handler has had every event the server sent
    // before this call: the stream's sentinel, for showing that something did not happen.
    void afterPendingEvents(std::function<void()> fn);

    // The fence: a client that holds the server (XGrabServer) sends a ClientMessage of this
    // type, with a rising mark, to this window; once waitForFence(mark) returns true, every
    // event the server made before the grab has been read (the user's keys are in UserKeys).
    // False without a running stream.
    bool fenceTarget(unsigned long& window, unsigned long& messageType) const;
    // False when the mark was not read within the time (the thread may be waiting for a
    // reply of its own, which the grab holds back).
    bool waitForFence(quint64 mark, double timeout);

    static constexpr double HANDSHAKE_TIMEOUT = 5.0;
    static constexpr double GRAB_TIMEOUT = 1.0;

    // What the thread shares with its owner; it may outlive the owner when the handshake
    // never ended.
    struct Shared;

private:
    bool request(int xKeycode, unsigned xModifiers, bool grab);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace murmelo::linuxdesktop
