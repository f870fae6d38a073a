#include "linux/XiEventStream.h"

#include "linux/DesktopContext.h"
#include "linux/KeyTable.h"
#include "linux/OwnEventLedger.h"
#include "linux/UserKeys.h"
#include "linux/XErrorTrap.h"
#include "linux/XkbKeymap.h"
#include "platform/MainQueue.h"

#include <QString>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <utility>
#include <vector>
#include <sys/eventfd.h>
#include <unistd.h>

namespace murmelo::linuxdesktop {
namespace {

// The slave devices through which XTest events arrive.
std::set<int> xtestDevices(Display* d) {
    std::set<int> ids;
    int n = 0;
    XIDeviceInfo* info = XIQueryDevice(d, XIAllDevices, &n);
    for (int i = 0; i < n; ++i)
        if (QString::fromLatin1(info[i].name).contains(QLatin1String("XTEST"))) ids.insert(info[i].deviceid);
    XIFreeDeviceInfo(info);
    return ids;
}

// A grab must hold whatever the lock keys' state: one grab per combination of them. False
// when the server refused any of them (BadAccess: another client holds the chord).
bool applyGrab(Display* d, int keycode, unsigned modifiers, bool grab) {
    XErrorTrap trap(d);
    const unsigned locks[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    for (unsigned l : locks) {
        if (grab)
            XGrabKey(d, keycode, modifiers | l, DefaultRootWindow(d), True, GrabModeAsync, GrabModeAsync);
        else
            XUngrabKey(d, keycode, modifiers | l, DefaultRootWindow(d));
    }
    if (!trap.finish()) return true;
    qWarning("XInput: %s key %d with modifiers 0x%x failed: %s", grab ? "grabbing" : "releasing", keycode, modifiers,
             qPrintable(trap.describe()));
    if (grab) {
        // Half a grab (some lock combinations only) would make the chord depend on Caps Lock.
        XErrorTrap undo(d);
        for (unsigned l : locks) XUngrabKey(d, keycode, modifiers | l, DefaultRootWindow(d));
        undo.finish();
    }
    return false;
}

// What a key down types: the current group's symbol at Shift's level (Caps Lock turning
// letters), empty for keys that type nothing. Return and Tab give the line end and the tab
// the core expects of them: they end a word.
QString typedText(const XkbKeymap& keymap, int keycode, quint64 flags, int group, bool levelThree) {
    const unsigned long sym = keymap.produced(keycode, group, flags & KeyTable::FLAG_SHIFT, levelThree);
    if (sym == XK_Return || sym == XK_KP_Enter) return QStringLiteral("\r");
    if (sym == XK_Tab) return QStringLiteral("\t");
    QString text = XkbKeymap::text(sym);
    if ((flags & KeyTable::FLAG_CAPS_LOCK) && text.size() == 1 && text.at(0).isLetter())
        text = text.at(0).isUpper() ? text.toLower() : text.toUpper();
    return text;
}

}  // namespace

struct XiEventStream::Shared {
    struct GrabRequest {
        int keycode;
        unsigned modifiers;
        bool grab;
        quint64 id;
    };
    enum class Start { pending, running, failed };

    Shared(std::function<void(const StreamEvent&)> h, MainQueue& q) : handler(std::move(h)), queue(q) {
        wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~Shared() {
        if (wakeFd >= 0) close(wakeFd);
    }
    void wake() {
        const uint64_t one = 1;
        if (wakeFd >= 0) (void)!write(wakeFd, &one, sizeof one);
    }

    // Events read but not yet handled, in the server's order. One drain at a time waits in
    // the main queue and takes all of them: a burst read while the main thread is busy costs
    // it one wake-up, not one per event.
    void hand(StreamEvent event, const std::shared_ptr<Shared>& self) {
        bool post = false;
        {
            std::lock_guard lock(handMutex);
            handed.push_back(std::move(event));
            post = !std::exchange(drainPosted, true);
        }
        if (post) queue.post([self] { self->drain(); });
    }
    void drain() {
        std::vector<StreamEvent> batch;
        {
            std::lock_guard lock(handMutex);
            batch.swap(handed);
            drainPosted = false;
        }
        // The handler may end the stream (the tap made again): what is left is dropped then.
        for (const StreamEvent& e : batch)
            if (*alive) handler(e);
    }

    std::function<void(const StreamEvent&)> handler;
    MainQueue& queue;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    int wakeFd = -1;

    std::mutex handMutex;
    std::vector<StreamEvent> handed;
    bool drainPosted = false;

    std::mutex mutex;
    std::condition_variable changed;
    Start start = Start::pending;
    std::vector<GrabRequest> requests;
    std::vector<std::function<void()>> sentinels;
    quint64 requested = 0, applied = 0;
    std::map<quint64, bool> outcomes;  // whether each grab request held, by its number
};

namespace {

// The stream's thread: one X connection that listens, and a second one that holds grabs.
class StreamReader {
public:
    explicit StreamReader(std::shared_ptr<XiEventStream::Shared> shared) : s_(std::move(shared)) {}
    ~StreamReader() {
        if (grabber_) XCloseDisplay(grabber_);  // its grabs end with it
        if (d_) XCloseDisplay(d_);
    }

    // The handshake: XInput 2.2 on the server, raw events selected, the keymap read.
    bool open() {
        d_ = XOpenDisplay(nullptr);
        // XInput 2.2: raw events keep coming while a grab (ours or anyone's) is active.
        int ev = 0, err = 0, major = 2, minor = 2;
        if (!d_ || !XQueryExtension(d_, "XInputExtension", &opcode_, &ev, &err) ||
            XIQueryVersion(d_, &major, &minor) != Success)
            return false;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XISelectEvents(d_, DefaultRootWindow(d_), &mask, 1);
        keymap_.load(d_);
        // The group and modifiers come with the keys, in the server's order: a key is read in
        // the group it was typed in, with no question per key.
        int xkbError, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion, xkbOpcode;
        if (XkbQueryExtension(d_, &xkbOpcode, &xkbEvent_, &xkbError, &xkbMajor, &xkbMinor))
        {
            XkbSelectEvents(d_, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                            XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
            // The group and level three as each key met them, in the server's order: asking
            // the server when the event is read would give the state of later (a lock of ours
            // or the user's switch that came after the key).
            XkbSelectEventDetails(d_, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask | XkbModifierStateMask,
                                  XkbGroupStateMask | XkbModifierStateMask);
            XkbStateRec st{};
            if (XkbGetState(d_, XkbUseCoreKbd, &st) == Success) {
                group_ = st.group;
                levelThree_ = st.mods & Mod5Mask;
            }
        }
        DesktopContext::watchFrontWindow(d_);
        XSync(d_, False);
        // Keys we posted before anyone listened will never be seen: they must not mark others.
        OwnEventLedger::shared().clear();
        UserKeys::shared().clear();
        xtest_ = xtestDevices(d_);
        return true;
    }

    void loop() {
        while (*s_->alive) {
            applyGrabRequests();
            readEvents();
            passSentinels();
            dropGrabbedKeys();
            waitForInput();
        }
    }

private:
    // Grabs are held by a second connection: the server does not send raw events to the
    // client whose core grab is active, so a grab on the listening one would hide the
    // grabbed keys' releases from the stream. That connection receives the grabbed keys;
    // they are dropped.
    void applyGrabRequests() {
        std::vector<XiEventStream::Shared::GrabRequest> requests;
        {
            std::lock_guard lock(s_->mutex);
            requests.swap(s_->requests);
        }
        if (requests.empty()) return;
        if (!grabber_) grabber_ = XOpenDisplay(nullptr);
        std::map<quint64, bool> outcomes;
        for (const auto& r : requests) outcomes[r.id] = grabber_ && applyGrab(grabber_, r.keycode, r.modifiers, r.grab);
        grabberReadable_ = true;  // the requests' replies may have brought its events in
        std::lock_guard lock(s_->mutex);
        for (const auto& [id, held] : outcomes) s_->outcomes[id] = held;
        s_->applied = requests.back().id;
        s_->changed.notify_all();
    }

    // A round trip brings in every event the server sent before it; they go to the main
    // queue before the sentinels.
    void passSentinels() {
        std::vector<std::function<void()>> sentinels;
        {
            std::lock_guard lock(s_->mutex);
            sentinels.swap(s_->sentinels);
        }
        if (sentinels.empty()) return;
        XSync(d_, False);
        readEvents();
        auto alive = s_->alive;
        for (auto& fn : sentinels)
            s_->queue.post([alive, fn] {
                if (*alive) fn();
            });
    }

    void readEvents() {
        while (*s_->alive && XPending(d_) > 0) {
            XEvent e;
            XNextEvent(d_, &e);
            if (e.type == xkbEvent_) {
                const auto* xkb = reinterpret_cast<const XkbAnyEvent*>(&e);
                if (xkb->xkb_type == XkbStateNotify) {
                    const auto* state = reinterpret_cast<const XkbStateNotifyEvent*>(&e);
                    group_ = state->group;
                    levelThree_ = state->mods & Mod5Mask;
                    if (state->changed & (XkbGroupStateMask | XkbGroupBaseMask | XkbGroupLatchMask | XkbGroupLockMask))
                        contextChanged_ = true;
                } else {
                    keymapStale_ = true;  // a remap (ours while typing, or a new layout)
                    ++XkbKeymap::serverChanges();
                }
                continue;
            }
            if (e.type != GenericEvent) {
                if (DesktopContext::frontWindowEvent(d_, e)) contextChanged_ = true;
                continue;
            }
            if (e.xcookie.type != GenericEvent || e.xcookie.extension != opcode_ || !XGetEventData(d_, &e.xcookie)) continue;
            std::optional<StreamEvent> out = translate(*static_cast<const XIRawEvent*>(e.xcookie.data));
            XFreeEventData(d_, &e.xcookie);
            if (!out) continue;
            complete(*out);
            noteUsers(*out);
            out->contextChanged = std::exchange(contextChanged_, false);
            s_->hand(std::move(*out), s_);
        }
    }

    // The raw event in the core's terms, keeping the modifier state; nothing for events
    // that change nothing (a held modifier's repeat, a scroll step's release).
    std::optional<StreamEvent> translate(const XIRawEvent& raw) {
        StreamEvent out;
        const bool press = raw.evtype == XI_RawKeyPress || raw.evtype == XI_RawButtonPress;
        const bool isKey = raw.evtype == XI_RawKeyPress || raw.evtype == XI_RawKeyRelease;
        out.xKeycode = raw.detail;
        out.pressed = press;
        if (isKey) {
            out.keyCode = KeyTable::virtualKey(raw.detail).value_or(-1);
            const quint64 flag = out.keyCode >= 0 ? KeyTable::modifierFlag(out.keyCode) : 0;
            out.repeat = press && (raw.flags & XIKeyRepeat);
            if (flag && out.repeat) return std::nullopt;  // a held modifier changes nothing
            if (flag && flag != KeyTable::FLAG_CAPS_LOCK) {
                flags_ = press ? (flags_ | flag) : (flags_ & ~flag);
                out.kind = StreamEvent::Kind::FlagsChanged;
            } else if (flag) {
                if (press) flags_ ^= flag;  // Caps Lock toggles on its press
                out.kind = StreamEvent::Kind::FlagsChanged;
            } else {
                out.kind = press ? StreamEvent::Kind::KeyDown : StreamEvent::Kind::KeyUp;
            }
        } else if (raw.detail >= 4 && raw.detail <= 7) {
            if (!press) return std::nullopt;  // a scroll step is one press and one release
            out.kind = StreamEvent::Kind::Scroll;
        } else {
            out.kind = press ? StreamEvent::Kind::MouseDown : StreamEvent::Kind::MouseUp;
        }
        out.flags = flags_;
        if (xtest_.count(raw.sourceid) && isKey) {
            if (auto data = OwnEventLedger::shared().claim(raw.detail, press, Clock::shared().uptime())) {
                out.own = true;
                out.userData = *data;
            }
        }
        return out;
    }

    // The text a key down types (the keymap read again only after the server said it
    // changed), the pointer's place for a button.
    void complete(StreamEvent& out) {
        if (out.kind == StreamEvent::Kind::KeyDown) {
            if (keymapStale_) keymap_.load(d_);
            keymapStale_ = false;
            out.text = typedText(keymap_, out.xKeycode, out.flags, group_, levelThree_);
        } else if (out.kind != StreamEvent::Kind::KeyUp && out.kind != StreamEvent::Kind::FlagsChanged) {
            Window rootRet, child;
            int wx, wy;
            unsigned mask;
            XQueryPointer(d_, DefaultRootWindow(d_), &rootRet, &child, &out.x, &out.y, &wx, &wy, &mask);
        }
    }

    // The user's keys, the moment they are read: what is held, and what landed in which order.
    static void noteUsers(StreamEvent& out) {
        using K = StreamEvent::Kind;
        if (out.own) return;
        UserKeys& keys = UserKeys::shared();
        const bool press = out.kind == K::KeyDown || (out.kind == K::FlagsChanged && out.pressed);
        if (out.kind == K::KeyDown || out.kind == K::KeyUp || out.kind == K::FlagsChanged) {
            if (press) out.seq = keys.press(out.xKeycode, out.kind == K::FlagsChanged, erasable(out));
            else keys.release(out.xKeycode);
        } else if (out.kind == K::MouseDown) {
            out.seq = keys.click();
        }
    }
    static bool erasable(const StreamEvent& e) {
        constexpr quint64 shortcut = KeyTable::FLAG_COMMAND | KeyTable::FLAG_OPTION | KeyTable::FLAG_CONTROL;
        return e.kind == StreamEvent::Kind::KeyDown && !(e.flags & shortcut) && !e.text.isEmpty() &&
               e.text != QLatin1String("\r") && e.text != QLatin1String("\t");
    }
    // Only when its connection had something: asking it on every wake-up costs a read.
    void dropGrabbedKeys() {
        if (!grabber_ || !std::exchange(grabberReadable_, false)) return;
        while (XPending(grabber_) > 0) {
            XEvent dropped;
            XNextEvent(grabber_, &dropped);
        }
    }

    void waitForInput() {
        pollfd fds[3] = {{ConnectionNumber(d_), POLLIN, 0}, {s_->wakeFd, POLLIN, 0},
                         {grabber_ ? ConnectionNumber(grabber_) : -1, POLLIN, 0}};
        poll(fds, 3, -1);
        uint64_t drained;
        if (fds[1].revents & POLLIN) (void)!read(s_->wakeFd, &drained, sizeof drained);
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) grabberReadable_ = true;
    }

    std::shared_ptr<XiEventStream::Shared> s_;
    Display* d_ = nullptr;
    Display* grabber_ = nullptr;
    int opcode_ = 0;
    int xkbEvent_ = -1;
    XkbKeymap keymap_;
    bool keymapStale_ = false;
    int group_ = 0;
    bool levelThree_ = false;
    bool contextChanged_ = false;  // since the last event handed on
    bool grabberReadable_ = false;  // the grabbing connection may hold events to drop
    std::set<int> xtest_;
    quint64 flags_ = 0;
};

}  // namespace

XiEventStream::XiEventStream(std::function<void(const StreamEvent&)> handler)
    : shared_(std::make_shared<Shared>(std::move(handler), MainQueue::shared())) {
    thread_ = std::thread([s = shared_] {
        StreamReader reader(s);
        const bool up = reader.open();
        {
            std::lock_guard lock(s->mutex);
            s->start = up ? Shared::Start::running : Shared::Start::failed;
        }
        s->changed.notify_all();
        if (up) reader.loop();
    });
    std::unique_lock lock(shared_->mutex);
    if (!shared_->changed.wait_for(lock, std::chrono::duration<double>(HANDSHAKE_TIMEOUT),
                                   [&] { return shared_->start != Shared::Start::pending; })) {
        qWarning("XInput: the X server did not answer within %g s; no key stream", HANDSHAKE_TIMEOUT);
        // The thread ends by itself once the server answers; it holds its own share.
        *shared_->alive = false;
        lock.unlock();
        thread_.detach();
    }
}

bool XiEventStream::isRunning() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->start == Shared::Start::running && *shared_->alive;
}

bool XiEventStream::request(int xKeycode, unsigned xModifiers, bool grab) {
    if (!isRunning()) return false;
    std::unique_lock lock(shared_->mutex);
    const quint64 mine = ++shared_->requested;
    shared_->requests.push_back({xKeycode, xModifiers, grab, mine});
    shared_->wake();
    if (!shared_->changed.wait_for(lock, std::chrono::duration<double>(GRAB_TIMEOUT),
                                   [&] { return shared_->applied >= mine; })) {
        qWarning("XInput: the %s of key %d took longer than %g s", grab ? "grab" : "release", xKeycode, GRAB_TIMEOUT);
        return false;
    }
    const bool held = shared_->outcomes[mine];
    shared_->outcomes.erase(mine);
    return held;
}

void XiEventStream::afterPendingEvents(std::function<void()> fn) {
    if (!isRunning()) return;
    std::lock_guard lock(shared_->mutex);
    shared_->sentinels.push_back(std::move(fn));
    shared_->wake();
}

bool XiEventStream::grabKey(int xKeycode, unsigned xModifiers) { return request(xKeycode, xModifiers, true); }

void XiEventStream::ungrabKey(int xKeycode, unsigned xModifiers) { request(xKeycode, xModifiers, false); }

XiEventStream::~XiEventStream() {
    *shared_->alive = false;
    shared_->wake();
    if (thread_.joinable()) thread_.join();
}

}  // namespace murmelo::linuxdesktop
