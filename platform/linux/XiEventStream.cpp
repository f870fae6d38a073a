#include "linux/XiEventStream.h"

#include "linux/KeyTable.h"
#include "linux/OwnEventLedger.h"
#include "platform/MainQueue.h"

#include <QString>
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

}  // namespace

XiEventStream::XiEventStream(std::function<void(const StreamEvent&)> handler)
    : handler_(std::move(handler)), queue_(MainQueue::shared()), alive_(std::make_shared<std::atomic<bool>>(true)) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
    // The thread reports whether it could listen; the wait is bounded by its X handshake.
    while (!ready_) std::this_thread::yield();
}

XiEventStream::~XiEventStream() {
    *alive_ = false;
    const uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void XiEventStream::run() {
    Display* d = XOpenDisplay(nullptr);
    int opcode = 0, ev = 0, err = 0, major = 2, minor = 0;
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
    XSync(d, False);
    // Keys we posted before anyone listened will never be seen: they must not mark others.
    OwnEventLedger::shared().clear();
    std::set<int> xtest = xtestDevices(d);
    running_ = true;
    ready_ = true;

    quint64 flags = 0;
    auto alive = alive_;
    while (*alive) {
        while (*alive && XPending(d) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.xcookie.type != GenericEvent || e.xcookie.extension != opcode || !XGetEventData(d, &e.xcookie)) continue;
            const auto* raw = static_cast<const XIRawEvent*>(e.xcookie.data);
            StreamEvent out;
            const bool press = raw->evtype == XI_RawKeyPress || raw->evtype == XI_RawButtonPress;
            out.xKeycode = raw->detail;
            const bool isKey = raw->evtype == XI_RawKeyPress || raw->evtype == XI_RawKeyRelease;
            if (isKey) {
                out.keyCode = KeyTable::virtualKey(raw->detail).value_or(-1);
                const quint64 flag = out.keyCode >= 0 ? KeyTable::modifierFlag(out.keyCode) : 0;
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
            auto handler = handler_;
            queue_.post([alive, handler, out] {
                if (*alive) handler(out);
            });
        }
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, -1);
    }
    XCloseDisplay(d);
}

}  // namespace murmelo::linuxdesktop
