#pragma once
#include <QtGlobal>
#include <atomic>
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
    // The handler runs on the main thread.
    explicit XiEventStream(std::function<void(const StreamEvent&)> handler);
    ~XiEventStream();
    XiEventStream(const XiEventStream&) = delete;
    XiEventStream& operator=(const XiEventStream&) = delete;

    // XInput 2 is there and the thread listens.
    bool isRunning() const { return running_; }

private:
    void run();

    std::function<void(const StreamEvent&)> handler_;
    MainQueue& queue_;
    std::shared_ptr<std::atomic<bool>> alive_;
    std::atomic<bool> running_{false};
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> ready_{false};
};

}  // namespace murmelo::linuxdesktop
