#include "linux/X11Workspace.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "linux/DesktopContext.h"
#include "linux/XErrorTrap.h"

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace murmelo::linuxdesktop {
namespace {

Atom atom(Display* d, const char* name) { return XInternAtom(d, name, False); }

// One property as bytes (8-bit formats) or the first 32-bit item.
QByteArray stringProperty(Display* d, Window w, Atom prop) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, prop, 0, 1024, False, AnyPropertyType, &type, &format, &n, &after, &data) != Success)
        return {};
    QByteArray out;
    if (data && format == 8) out = QByteArray(reinterpret_cast<char*>(data), static_cast<int>(n));
    if (data) XFree(data);
    return out;
}

std::optional<unsigned long> cardinalProperty(Display* d, Window w, Atom prop) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, prop, 0, 1, False, AnyPropertyType, &type, &format, &n, &after, &data) != Success)
        return std::nullopt;
    std::optional<unsigned long> out;
    if (data && format == 32 && n == 1) out = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return out;
}

// Windows may vanish while they are queried: the queries of one answer run inside a trap,
// and a failure is logged instead of reaching the process-wide X error handler.
class QueryTrap {
public:
    QueryTrap(Display* d, const char* what) : trap_(d), what_(what) {}
    ~QueryTrap() {
        if (trap_.finish()) qWarning("workspace: %s: a window went away during the query (%s)", what_, qPrintable(trap_.describe()));
    }

private:
    XErrorTrap trap_;
    const char* what_;
};

// The Name of an installed desktop file, or nothing.
QString desktopFileName(const QString& id) {
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id + QStringLiteral(".desktop"));
    if (path.isEmpty()) return {};
    QSettings s(path, QSettings::IniFormat);
    return s.value(QStringLiteral("Desktop Entry/Name")).toString();
}

}  // namespace

X11Workspace::X11Workspace(const QString& displayName) : displayName_(displayName.toLocal8Bit()) {
    const QByteArray name = displayName_;
    dpy_ = XOpenDisplay(displayName.isEmpty() ? nullptr : name.data());
    if (!dpy_) return;
    root_ = DefaultRootWindow(dpy_);
    DesktopContext::watchFrontWindow(dpy_);
    refresh();
    XFlush(dpy_);
    notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    catchUp_ = DesktopContext::addCatchUp([this] {
        XSync(dpy_, False);
        drain();
    });
    scheduleDrain();
}

X11Workspace::~X11Workspace() {
    if (catchUp_) DesktopContext::removeCatchUp(catchUp_);
    delete notifier_;
    if (dpy_) XCloseDisplay(dpy_);
    if (framesDpy_) XCloseDisplay(framesDpy_);
}

Display* X11Workspace::framesDisplay() const {
    if (!framesDpy_) framesDpy_ = XOpenDisplay(displayName_.isEmpty() ? nullptr : displayName_.constData());
    return framesDpy_;
}

std::vector<WindowInfo> X11Workspace::windowsOf(qint64 pid) const {
    std::lock_guard lock(framesLock_);
    std::vector<WindowInfo> out;
    Display* d = framesDisplay();
    if (!d || pid <= 0) return out;
    const Window root = DefaultRootWindow(d);
    QueryTrap trap(d, "windows of a process");
    std::vector<Window> clients;
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, atom(d, "_NET_CLIENT_LIST"), 0, 4096, False, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success &&
        data && type == XA_WINDOW && format == 32) {
        const auto* ws = reinterpret_cast<const unsigned long*>(data);
        clients.assign(ws, ws + n);
    }
    if (data) XFree(data);
    if (clients.empty()) {
        Window rootRet, parent;
        Window* kids = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, root, &rootRet, &parent, &kids, &count) && kids)
            for (unsigned int i = 0; i < count; ++i)
                if (!stringProperty(d, kids[i], atom(d, "WM_CLASS")).isEmpty()) clients.push_back(kids[i]);
        if (kids) XFree(kids);
    }
    const Atom wmPid = atom(d, "_NET_WM_PID");
    const Atom windowType = atom(d, "_NET_WM_WINDOW_TYPE");
    const Atom normalType = atom(d, "_NET_WM_WINDOW_TYPE_NORMAL");
    const Atom dialogType = atom(d, "_NET_WM_WINDOW_TYPE_DIALOG");
    for (const Window w : clients) {
        if (cardinalProperty(d, w, wmPid) != static_cast<unsigned long>(pid)) continue;
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(d, w, &attrs)) continue;
        int x = 0, y = 0;
        Window child;
        if (!XTranslateCoordinates(d, w, root, 0, 0, &x, &y, &child)) continue;
        WindowInfo info;
        info.id = w;
        info.frame = QRectF(x, y, attrs.width, attrs.height);
        info.mapped = attrs.map_state == IsViewable;
        data = nullptr;
        if (XGetWindowProperty(d, w, windowType, 0, 16, False, XA_ATOM, &type, &format, &n, &after, &data) == Success &&
            data && format == 32 && n > 0) {
            const auto* types = reinterpret_cast<const unsigned long*>(data);
            info.normal = std::any_of(types, types + n, [&](unsigned long t) { return t == normalType || t == dialogType; });
        }
        if (data) XFree(data);
        QByteArray title = stringProperty(d, w, atom(d, "_NET_WM_NAME"));
        info.title = title.isEmpty() ? QString::fromLocal8Bit(stringProperty(d, w, XA_WM_NAME)) : QString::fromUtf8(title);
        out.push_back(info);
    }
    return out;
}

std::vector<QRectF> X11Workspace::onScreenWindowFrames() const {
    std::lock_guard lock(framesLock_);
    std::vector<QRectF> out;
    Display* d = framesDisplay();
    if (!d) return out;
    const Window root = DefaultRootWindow(d);
    QueryTrap trap(d, "window frames");
    std::vector<Window> stack;  // bottom to top
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, atom(d, "_NET_CLIENT_LIST_STACKING"), 0, 4096, False, XA_WINDOW, &type, &format,
                           &n, &after, &data) == Success &&
        data && type == XA_WINDOW && format == 32) {
        const auto* ws = reinterpret_cast<const unsigned long*>(data);
        stack.assign(ws, ws + n);
    }
    if (data) XFree(data);
    if (stack.empty()) {
        // No window manager: the root's children are in stacking order already.
        Window rootRet, parent;
        Window* kids = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, root, &rootRet, &parent, &kids, &count) && kids)
            for (unsigned int i = 0; i < count; ++i)
                if (!stringProperty(d, kids[i], atom(d, "WM_CLASS")).isEmpty()) stack.push_back(kids[i]);
        if (kids) XFree(kids);
    }
    const Atom windowType = atom(d, "_NET_WM_WINDOW_TYPE");
    const Atom desktop = atom(d, "_NET_WM_WINDOW_TYPE_DESKTOP");
    const Atom dock = atom(d, "_NET_WM_WINDOW_TYPE_DOCK");
    const Atom extents = atom(d, "_NET_FRAME_EXTENTS");
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        const Window w = *it;
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(d, w, &attrs) || attrs.map_state != IsViewable) continue;
        bool skip = false;
        data = nullptr;
        if (XGetWindowProperty(d, w, windowType, 0, 16, False, XA_ATOM, &type, &format, &n, &after, &data) == Success &&
            data && format == 32) {
            const auto* types = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < n; ++i) skip = skip || types[i] == desktop || types[i] == dock;
        }
        if (data) XFree(data);
        if (skip) continue;
        int x = 0, y = 0;
        Window child;
        if (!XTranslateCoordinates(d, w, root, 0, 0, &x, &y, &child)) continue;
        long left = 0, right = 0, top = 0, bottom = 0;
        data = nullptr;
        if (XGetWindowProperty(d, w, extents, 0, 4, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
            data && format == 32 && n == 4) {
            const auto* e = reinterpret_cast<const long*>(data);
            left = e[0];
            right = e[1];
            top = e[2];
            bottom = e[3];
        }
        if (data) XFree(data);
        out.emplace_back(x - left, y - top, attrs.width + left + right, attrs.height + top + bottom);
    }
    return out;
}

bool X11Workspace::queryManagerKeepsActiveWindow() const {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, root_, atom(dpy_, "_NET_ACTIVE_WINDOW"), 0, 1, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) != Success)
        return false;
    if (data) XFree(data);
    return type == XA_WINDOW && n == 1;
}

// Walks up from a window (often a child the focus landed in) to the one that carries
// WM_CLASS, the application's top-level window.
unsigned long X11Workspace::clientWindow(unsigned long window) const {
    const Atom wmClass = atom(dpy_, "WM_CLASS");
    Window w = window;
    for (int depth = 0; w && w != root_ && depth < 32; ++depth) {
        if (!stringProperty(dpy_, w, wmClass).isEmpty()) return w;
        Window rootRet, parent;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy_, w, &rootRet, &parent, &children, &n)) return 0;
        if (children) XFree(children);
        w = parent;
    }
    return 0;
}

unsigned long X11Workspace::frontWindow() const { return front_; }

unsigned long X11Workspace::queryFrontWindow() const {
    QueryTrap trap(dpy_, "front window");
    if (managerKeeps_) {
        const auto w = cardinalProperty(dpy_, root_, atom(dpy_, "_NET_ACTIVE_WINDOW"));
        return w && *w ? clientWindow(*w) : 0;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy_, &focus, &revert);
    if (focus == None || focus == PointerRoot) return 0;
    return clientWindow(focus);
}

std::optional<AppIdentity> X11Workspace::identityOf(unsigned long window) const {
    if (window && window == front_) return frontIdentity_;
    return queryIdentity(window);
}

std::optional<AppIdentity> X11Workspace::queryIdentity(unsigned long window) const {
    if (!dpy_ || !window) return std::nullopt;
    QueryTrap trap(dpy_, "identity of a window");
    AppIdentity id;
    XClassHint hint{};
    QString resClass;
    if (XGetClassHint(dpy_, window, &hint)) {
        resClass = QString::fromLocal8Bit(hint.res_class ? hint.res_class : "");
        if (resClass.isEmpty()) resClass = QString::fromLocal8Bit(hint.res_name ? hint.res_name : "");
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    for (const char* prop : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        const QByteArray v = stringProperty(dpy_, window, atom(dpy_, prop));
        if (!v.isEmpty()) {
            id.bundleIdentifier = QString::fromUtf8(v);
            break;
        }
    }
    if (id.bundleIdentifier.isEmpty()) id.bundleIdentifier = resClass.toLower();
    if (id.bundleIdentifier.isEmpty()) return std::nullopt;
    id.localizedName = desktopFileName(id.bundleIdentifier);
    if (id.localizedName.isEmpty()) id.localizedName = resClass.isEmpty() ? id.bundleIdentifier : resClass;
    id.pid = static_cast<qint64>(cardinalProperty(dpy_, window, atom(dpy_, "_NET_WM_PID")).value_or(0));
    return id;
}

QStringList X11Workspace::frontApplicationIds() const { return frontIds_; }

// Reads the front window and what is known of it again; the window's own properties are
// watched from now on, so that a changed class or id is read again too.
void X11Workspace::refresh() {
    managerKeeps_ = queryManagerKeepsActiveWindow();
    const unsigned long before = front_;
    front_ = queryFrontWindow();
    if (front_ != before) {
        // The focus watch stays on every top-level window; the properties only on the front
        // one. The window left behind may be gone by now: nothing to report.
        XErrorTrap quiet(dpy_);
        if (before) XSelectInput(dpy_, before, FocusChangeMask);
        if (front_) XSelectInput(dpy_, front_, FocusChangeMask | PropertyChangeMask);
        quiet.finish();
    }
    frontIdentity_ = queryIdentity(front_);
    QueryTrap trap(dpy_, "front application ids");
    frontIds_.clear();
    if (frontIdentity_) frontIds_ << frontIdentity_->bundleIdentifier.toLower();
    XClassHint hint{};
    if (front_ && XGetClassHint(dpy_, front_, &hint)) {
        for (const char* n : {hint.res_class, hint.res_name})
            if (n && *n && !frontIds_.contains(QString::fromLocal8Bit(n).toLower()))
                frontIds_ << QString::fromLocal8Bit(n).toLower();
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
}

bool X11Workspace::frontPropertyEvent(const XEvent& ev) const {
    if (ev.type != PropertyNotify || !front_ || ev.xproperty.window != front_) return false;
    for (const char* name : {"WM_CLASS", "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE", "_NET_WM_PID"})
        if (ev.xproperty.atom == atom(dpy_, name)) return true;
    return false;
}

std::vector<unsigned long> X11Workspace::clientWindows() const {
    std::vector<unsigned long> out;
    if (!dpy_) return out;
    QueryTrap trap(dpy_, "client windows");
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, root_, atom(dpy_, "_NET_CLIENT_LIST"), 0, 4096, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) == Success &&
        data && type == XA_WINDOW && format == 32) {
        const auto* ws = reinterpret_cast<const unsigned long*>(data);
        out.assign(ws, ws + n);
    }
    if (data) XFree(data);
    if (!out.empty()) return out;

    const Atom wmClass = atom(dpy_, "WM_CLASS");
    auto children = [this](Window w) {
        Window rootRet, parent;
        Window* kids = nullptr;
        unsigned int count = 0;
        std::vector<Window> v;
        if (XQueryTree(dpy_, w, &rootRet, &parent, &kids, &count) && kids) v.assign(kids, kids + count);
        if (kids) XFree(kids);
        return v;
    };
    for (Window top : children(root_)) {
        if (!stringProperty(dpy_, top, wmClass).isEmpty()) {
            out.push_back(top);
            continue;
        }
        // A reparenting window manager's frame holds the client one level down.
        for (Window c : children(top))
            if (!stringProperty(dpy_, c, wmClass).isEmpty()) out.push_back(c);
    }
    return out;
}

std::vector<AppIdentity> X11Workspace::runningApplications() const {
    std::vector<AppIdentity> out;
    if (!dpy_) return out;
    for (unsigned long w : clientWindows()) {
        const auto id = identityOf(w);
        if (!id) continue;
        const bool seen = std::any_of(out.begin(), out.end(),
                                      [&](const AppIdentity& a) { return a.bundleIdentifier == id->bundleIdentifier; });
        if (!seen) out.push_back(*id);
    }
    scheduleDrain();
    return out;
}

std::optional<AppIdentity> X11Workspace::runningApplication(qint64 pid) const {
    // The pid may be reused by now: the process must be alive to be anyone's.
    if (!processIsAlive(pid)) return std::nullopt;
    if (dpy_) {
        QueryTrap trap(dpy_, "windows of a process");
        const Atom wmPid = atom(dpy_, "_NET_WM_PID");
        std::optional<AppIdentity> unmapped;
        for (unsigned long w : clientWindows()) {
            if (cardinalProperty(dpy_, w, wmPid).value_or(0) != static_cast<unsigned long>(pid)) continue;
            auto id = identityOf(w);
            if (!id) continue;
            XWindowAttributes attrs;
            if (XGetWindowAttributes(dpy_, w, &attrs) && attrs.map_state == IsViewable) {
                scheduleDrain();
                return id;
            }
            if (!unmapped) unmapped = id;
        }
        scheduleDrain();
        if (unmapped) return unmapped;
    }
    // A process with no window of its own: named as the system names it.
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    if (name.isEmpty()) return std::nullopt;
    return AppIdentity{QString(), name, pid};
}

std::optional<AppIdentity> X11Workspace::frontmostApplication() const { return frontIdentity_; }

// Replies to our queries may carry events along into the X library's buffer, out of the
// socket notifier's sight: drain them from the event loop after every query.
void X11Workspace::scheduleDrain() const {
    if (drainScheduled_ || !dpy_) return;
    drainScheduled_ = true;
    auto* self = const_cast<X11Workspace*>(this);
    QTimer::singleShot(0, self, [self] { self->drain(); });
}

bool X11Workspace::processIsAlive(qint64 pid) {
    if (pid <= 0) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    // kill(0) succeeds on a process that has ended but is not yet reaped: its state is Z
    // (or X while it is being torn down). The name in parentheses may hold anything, so
    // the state is the first field after the last ')'.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size()) return true;
    const char state = line.at(close + 2);
    return state != 'Z' && state != 'X';
}

bool X11Workspace::isRunning(const AppIdentity& app) const { return processIsAlive(app.pid); }

bool X11Workspace::activate(const AppIdentity& app) {
    if (!dpy_ || !isRunning(app)) return false;
    QueryTrap trap(dpy_, "activation");
    // The application's mapped top-level windows, topmost last.
    Window rootRet, parent;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy_, root_, &rootRet, &parent, &children, &n)) return false;
    Window target = 0;
    for (unsigned int i = n; i-- > 0 && !target;) {
        const Window c = clientWindow(children[i]) ? clientWindow(children[i]) : 0;
        if (!c) continue;
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(dpy_, children[i], &attrs) || attrs.map_state != IsViewable) continue;
        const auto id = identityOf(c);
        if (id && id->pid == app.pid) target = c;
    }
    if (children) XFree(children);
    if (!target) return false;
    if (managerKeeps_) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = target;
        ev.xclient.message_type = atom(dpy_, "_NET_ACTIVE_WINDOW");
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 2;  // a pager-like request: honoured without focus-stealing rules
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    } else {
        XRaiseWindow(dpy_, target);
        XSetInputFocus(dpy_, target, RevertToParent, CurrentTime);
    }
    XFlush(dpy_);
    scheduleDrain();
    return true;
}

void X11Workspace::setActivationHandler(std::function<void(const AppIdentity&)> handler) {
    onActivate_ = std::move(handler);
    last_ = frontIdentity_;
}

void X11Workspace::drain() {
    drainScheduled_ = false;
    if (!dpy_) return;
    bool changed = false;
    for (;;) {
        bool stale = false;
        while (XPending(dpy_) > 0) {
            XEvent ev;
            XNextEvent(dpy_, &ev);
            if (DesktopContext::frontWindowEvent(dpy_, ev) || frontPropertyEvent(ev)) stale = true;
        }
        if (!stale) break;
        // The reads may bring in further events: the loop takes them too.
        refresh();
        changed = true;
    }
    if (changed) check();
}

void X11Workspace::check() {
    if (!onActivate_ && !hasActivationObservers()) return;
    const auto now = frontIdentity_;
    if (!now || (last_ && last_->pid == now->pid && last_->bundleIdentifier == now->bundleIdentifier)) {
        if (now) last_ = now;
        return;
    }
    last_ = now;
    if (onActivate_) onActivate_(*now);
    notifyActivationObservers(*now);
}

}  // namespace murmelo::linuxdesktop
