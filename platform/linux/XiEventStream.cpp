#include "linux/XiEventStream.h"

#include "linux/KeyTable.h"
#include "linux/OwnEventLedger.h"
#include "linux/XkbKeymap.h"
#include "platform/MainQueue.h"

#include <QString>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <poll.h>
#include <set>
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

// A grab must hold whatever the lock keys' state: one grab per combination of them.
void applyGrab(Display* d, int keycode, unsigned modifiers, bool grab) {
    const unsigned locks[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    for (unsigned l : locks) {
        if (grab)
            XGrabKey(d, keycode, modifiers | l, DefaultRootWindow(d), True, GrabModeAsync, GrabModeAsync);
        else
            XUngrabKey(d, keycode, modifiers | l, DefaultRootWindow(d));
    }
}

// What a key down types: the current group's symbol at Shift's level (Caps Lock turning
// letters), empty for keys that type nothing.
QString typedText(Display* d, const XkbKeymap& keymap, int keycode, quint64 flags) {
    XkbStateRec st{};
    if (XkbGetState(d, XkbUseCoreKbd, &st) != Success) return {};
    const bool levelThree = st.mods & Mod5Mask;
    QString text = XkbKeymap::text(keymap.produced(keycode, st.group, flags & KeyTable::FLAG_SHIFT, levelThree));
    if ((flags & KeyTable::FLAG_CAPS_LOCK) && text.size() == 1 && text.at(0).isLetter())
        text = text.at(0).isUpper() ? text.toLower() : text.toUpper();
    return text;
}

}  // namespace

XiEventStream::XiEventStream(std::function<void(const StreamEvent&)> handler)
    : handler_(std::move(handler)), queue_(MainQueue::shared()), alive_(std::make_shared<std::atomic<bool>>(true)) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
    // The thread reports whether it could listen; the wait is bounded by its X handshake.
    while (!ready_) std::this_thread::yield();
}

void XiEventStream::wake() {
    const uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

void XiEventStream::request(const GrabRequest& r) {
    if (!running_) return;
    std::unique_lock lock(grabsMutex_);
    grabRequests_.push_back(r);
    const quint64 mine = ++requested_;
    wake();
    grabsDone_.wait_for(lock, std::chrono::seconds(1), [&] { return applied_ >= mine; });
}

void XiEventStream::grabKey(int xKeycode, unsigned xModifiers) { request({xKeycode, xModifiers, true}); }

void XiEventStream::ungrabKey(int xKeycode, unsigned xModifiers) { request({xKeycode, xModifiers, false}); }

XiEventStream::~XiEventStream() {
    *alive_ = false;
    wake();
    if (thread_.joinable()) thread_.join();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void XiEventStream::run() {
    Display* d = XOpenDisplay(nullptr);
    // 2.2: raw events keep coming while a grab (ours or anyone's) is active.
    int opcode = 0, ev = 0, err = 0, major = 2, minor = 2;
    if (!d || !XQueryExtension(d, "XInputExtension", &opcode, &ev, &err) || XIQueryVersion(d, &major, &minor) != Success) {
        if (d) XCloseDisplay(d);
        ready_ = true;
        return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XkbKeymap keymap;
    keymap.load(d);
    int xkbEvent = -1, xkbError, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion, xkbOpcode;
    if (XkbQueryExtension(d, &xkbOpcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor))
        XkbSelectEvents(d, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                        XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
    XSync(d, False);
    // Keys we posted before anyone listened will never be seen: they must not mark others.
    OwnEventLedger::shared().clear();
    std::set<int> xtest = xtestDevices(d);
    running_ = true;
    ready_ = true;

    quint64 flags = 0;
    auto alive = alive_;
    // Grabs are held by a second connection: the server does not send raw events to the
    // client whose core grab is active, so a grab on this one would hide the grabbed keys'
    // releases from the stream. That connection receives the grabbed keys; they are dropped.
    Display* grabber = nullptr;
    bool keymapStale = false;
    while (*alive) {
        std::vector<GrabRequest> requests;
        quint64 taken = 0;
        {
            std::lock_guard lock(grabsMutex_);
            requests.swap(grabRequests_);
            taken = requested_;
        }
        if (!requests.empty()) {
            if (!grabber) grabber = XOpenDisplay(nullptr);
            for (const GrabRequest& r : requests) {
                if (grabber) applyGrab(grabber, r.keycode, r.modifiers, r.grab);
            }
            if (grabber) XSync(grabber, False);
            std::lock_guard lock(grabsMutex_);
            applied_ = taken;
            grabsDone_.notify_all();
        }
        while (*alive && XPending(d) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == xkbEvent) {
                keymapStale = true;  // a remap (ours while typing, or a new layout)
                continue;
            }
            if (e.xcookie.type != GenericEvent || e.xcookie.extension != opcode || !XGetEventData(d, &e.xcookie)) continue;
            const auto* raw = static_cast<const XIRawEvent*>(e.xcookie.data);
            StreamEvent out;
            const bool press = raw->evtype == XI_RawKeyPress || raw->evtype == XI_RawButtonPress;
            out.xKeycode = raw->detail;
            const bool isKey = raw->evtype == XI_RawKeyPress || raw->evtype == XI_RawKeyRelease;
            if (isKey) {
                out.keyCode = KeyTable::virtualKey(raw->detail).value_or(-1);
                const quint64 flag = out.keyCode >= 0 ? KeyTable::modifierFlag(out.keyCode) : 0;
                out.repeat = press && (raw->flags & XIKeyRepeat);
                if (flag && out.repeat) {
                    XFreeEventData(d, &e.xcookie);
                    continue;  // a held modifier changes nothing
                }
                if (flag && flag != KeyTable::FLAG_CAPS_LOCK) {
                    flags = press ? (flags | flag) : (flags & ~flag);
                    out.kind = StreamEvent::Kind::FlagsChanged;
                } else if (flag) {
                    if (press) flags ^= flag;  // Caps Lock toggles on its press
                    out.kind = StreamEvent::Kind::FlagsChanged;
                } else {
                    out.kind = press ? StreamEvent::Kind::KeyDown : StreamEvent::Kind::KeyUp;
                }
            } else if (raw->detail >= 4 && raw->detail <= 7) {
                if (!press) {
                    XFreeEventData(d, &e.xcookie);
                    continue;  // a scroll step is one press and one release
                }
                out.kind = StreamEvent::Kind::Scroll;
            } else {
                out.kind = press ? StreamEvent::Kind::MouseDown : StreamEvent::Kind::MouseUp;
            }
            out.flags = flags;
            if (xtest.count(raw->sourceid) && isKey) {
                if (auto data = OwnEventLedger::shared().claim(raw->detail, press, Clock::shared().uptime())) {
                    out.own = true;
                    out.userData = *data;
                }
            }
            XFreeEventData(d, &e.xcookie);
            if (out.kind == StreamEvent::Kind::KeyDown) {
                if (keymapStale) keymap.load(d);
                keymapStale = false;
                out.text = typedText(d, keymap, out.xKeycode, flags);
            } else if (!isKey) {
                Window rootRet, child;
                int wx, wy;
                unsigned mask;
                XQueryPointer(d, DefaultRootWindow(d), &rootRet, &child, &out.x, &out.y, &wx, &wy, &mask);
            }
            auto handler = handler_;
            queue_.post([alive, handler, out] {
                if (*alive) handler(out);
            });
        }
        if (grabber)
            while (XPending(grabber) > 0) {
                XEvent dropped;
                XNextEvent(grabber, &dropped);
            }
        pollfd fds[3] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd_, POLLIN, 0},
                         {grabber ? ConnectionNumber(grabber) : -1, POLLIN, 0}};
        poll(fds, 3, -1);
        uint64_t drained;
        (void)!read(wakeFd_, &drained, sizeof drained);
    }
    if (grabber) XCloseDisplay(grabber);  // its grabs end with it
    XCloseDisplay(d);
}

}  // namespace murmelo::linuxdesktop
