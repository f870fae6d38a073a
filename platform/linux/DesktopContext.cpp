#include "linux/DesktopContext.h"

#include "linux/XErrorTrap.h"

#include <X11/Xlib.h>

#include <map>

namespace murmelo::linuxdesktop::DesktopContext {
namespace {

// A window may be gone by the time its focus is selected: that is no error worth a log.
void watchFocus(Display* dpy, Window w) {
    XErrorTrap trap(dpy);
    XSelectInput(dpy, w, FocusChangeMask);
    trap.finish();
}

std::map<int, std::function<void()>>& catchUps() {
    static std::map<int, std::function<void()>> all;
    return all;
}

}  // namespace

void watchFrontWindow(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, PropertyChangeMask | SubstructureNotifyMask | FocusChangeMask);
    Window rootRet, parent;
    Window* children = nullptr;
    unsigned int n = 0;
    XErrorTrap trap(dpy);
    if (XQueryTree(dpy, root, &rootRet, &parent, &children, &n))
        for (unsigned int i = 0; i < n; ++i) XSelectInput(dpy, children[i], FocusChangeMask);
    if (children) XFree(children);
    trap.finish();
}

bool frontWindowEvent(Display* dpy, const XEvent& ev) {
    const Window root = DefaultRootWindow(dpy);
    switch (ev.type) {
    case CreateNotify:
        if (ev.xcreatewindow.parent != root) return false;
        watchFocus(dpy, ev.xcreatewindow.window);
        return true;
    case ReparentNotify:
        if (ev.xreparent.parent != root) return false;
        watchFocus(dpy, ev.xreparent.window);
        return true;
    case PropertyNotify: {
        if (ev.xproperty.window != root) return false;
        // Xlib keeps interned atoms: only the first of each asks the server.
        return ev.xproperty.atom == XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False) ||
               ev.xproperty.atom == XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    }
    case FocusIn:
    case FocusOut:
        // A keyboard grab (ours for an owned chord among them) moves no focus.
        return (ev.xfocus.mode == NotifyNormal || ev.xfocus.mode == NotifyWhileGrabbed) &&
               ev.xfocus.detail != NotifyPointer;
    default: return false;
    }
}

int addCatchUp(std::function<void()> fn) {
    static int next = 0;
    catchUps()[++next] = std::move(fn);
    return next;
}

void removeCatchUp(int id) { catchUps().erase(id); }

void catchUp() {
    const auto all = catchUps();  // a catch-up may add or remove others
    for (const auto& [id, fn] : all) fn();
}

}  // namespace murmelo::linuxdesktop::DesktopContext
