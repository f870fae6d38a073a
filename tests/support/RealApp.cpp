#include "RealApp.h"

#include "DesktopHarness.h"

#include <QFile>
#include <QGuiApplication>

#include <atspi/atspi.h>

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace murmelo::test {
namespace {

Atom atom(Display* d, const char* name) { return XInternAtom(d, name, False); }

std::vector<Window> windowList(Display* d, Window w, Atom prop) {
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    std::vector<Window> out;
    if (XGetWindowProperty(d, w, prop, 0, 4096, False, XA_WINDOW, &type, &format, &n, &after, &data) == Success && data &&
        format == 32) {
        const auto* ws = reinterpret_cast<const unsigned long*>(data);
        out.assign(ws, ws + n);
    }
    if (data) XFree(data);
    return out;
}

// The text a line editor shows for these bytes: Return starts a line, BackSpace and DEL take
// back one character; other control bytes change nothing.
QString lineEditorText(const QByteArray& bytes) {
    QStringList lines{QString()};
    QByteArray line;
    auto flush = [&] { lines.last() = QString::fromUtf8(line); };
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n') {
            flush();
            line.clear();
            lines << QString();
        } else if (c == 0x7f || c == 0x08) {
            while (!line.isEmpty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) line.chop(1);
            if (!line.isEmpty()) line.chop(1);
        } else if (c >= 0x20) {
            line += ch;
        }
    }
    flush();
    return lines.join(QLatin1Char('\n'));
}

bool editableTextFocused(AtspiAccessible* obj) {
    AtspiStateSet* set = atspi_accessible_get_state_set(obj);
    if (!set) return false;
    const bool yes = atspi_state_set_contains(set, ATSPI_STATE_FOCUSED) && atspi_state_set_contains(set, ATSPI_STATE_EDITABLE);
    g_object_unref(set);
    GError* err = nullptr;
    const AtspiRole role = atspi_accessible_get_role(obj, &err);
    if (err) g_error_free(err);
    return yes && (role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_DOCUMENT_TEXT || role == ATSPI_ROLE_ENTRY);
}

// The focused editable text in the tree under the object, depth first (a new reference).
AtspiAccessible* findFocusedText(AtspiAccessible* obj, int depth) {
    if (editableTextFocused(obj)) return static_cast<AtspiAccessible*>(g_object_ref(obj));
    if (depth > 24) return nullptr;
    GError* err = nullptr;
    const int n = atspi_accessible_get_child_count(obj, &err);
    if (err) g_error_free(err);
    AtspiAccessible* found = nullptr;
    for (int i = 0; !found && i < n && i < 200; ++i) {
        AtspiAccessible* c = atspi_accessible_get_child_at_index(obj, i, &err);
        if (err) g_clear_error(&err);
        if (!c) continue;
        found = findFocusedText(c, depth + 1);
        g_object_unref(c);
    }
    return found;
}

}  // namespace

// The editors' text view, read with libatspi itself: the program's bridge looks for the
// focus breadth first and from focus events, and in featherpad may settle on the focused
// page tab or the text's viewport; the test wants the text view whatever the bridge does.
struct RealApp::Reader {
    AtspiAccessible* field = nullptr;
    QString name;
    Reader() { atspi_init(); }
    ~Reader() {
        if (field) g_object_unref(field);
    }
    bool find(const QString& appName) {
        name = appName;
        if (field) g_object_unref(field);
        field = nullptr;
        AtspiAccessible* desktop = atspi_get_desktop(0);
        if (!desktop) return false;
        GError* err = nullptr;
        const int apps = atspi_accessible_get_child_count(desktop, &err);
        if (err) g_clear_error(&err);
        for (int i = 0; !field && i < apps; ++i) {
            AtspiAccessible* a = atspi_accessible_get_child_at_index(desktop, i, &err);
            if (err) g_clear_error(&err);
            if (!a) continue;
            gchar* found = atspi_accessible_get_name(a, &err);
            if (err) g_clear_error(&err);
            if (found && QString::fromUtf8(found).toLower() == name) field = findFocusedText(a, 0);
            g_free(found);
            g_object_unref(a);
        }
        g_object_unref(desktop);
        return field != nullptr;
    }
    QString text() {
        if (!field) return {};
        GError* err = nullptr;
        gchar* t = atspi_text_get_text(ATSPI_TEXT(field), 0, -1, &err);
        const bool failed = err != nullptr;
        if (err) g_clear_error(&err);
        const QString out = t ? QString::fromUtf8(t) : QString();
        // A text view that went away (or a reference gone stale) is looked for again.
        if (failed && find(name)) {
            g_free(t);
            return text();
        }
        g_free(t);
        return out;
    }
};

RealApp::RealApp() : name_(qEnvironmentVariable("MURMELO_APP")) {
    if (!isTerminal() && available()) reader_ = std::make_unique<Reader>();
}

RealApp::~RealApp() = default;

bool RealApp::available() {
    return !qEnvironmentVariableIsEmpty("MURMELO_APP") && QGuiApplication::platformName() == QLatin1String("xcb");
}

// The application's managed top-level window, by its window class.
unsigned long RealApp::findWindow() const {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 0;
    Window found = 0;
    for (Window w : windowList(d, DefaultRootWindow(d), atom(d, "_NET_CLIENT_LIST"))) {
        XClassHint hint{};
        if (!XGetClassHint(d, w, &hint)) continue;
        if (hint.res_class && QString::fromLocal8Bit(hint.res_class).toLower() == name_) found = w;
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    XCloseDisplay(d);
    return found;
}

bool RealApp::focus() {
    why_.clear();
    unsigned long window = 0;
    if (!waitUntil([&] { return (window = findWindow()) != 0; }, 20)) {
        why_ = QStringLiteral("no window of class %1 in _NET_CLIENT_LIST").arg(name_);
        return false;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const Window root = DefaultRootWindow(d);
    const Atom active = atom(d, "_NET_ACTIVE_WINDOW");
    auto activate = [&] {
        // Asked as a pager asks (source 2), which window managers obey without question.
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = window;
        ev.xclient.message_type = active;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 2;
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
        XFlush(d);
        return waitUntil([&] {
            const std::vector<Window> w = windowList(d, root, active);
            return !w.empty() && w.front() == window;
        }, 20);
    };
    auto textAreaFocused = [&] { return reader_->find(name_); };
    bool ok = activate();
    if (!ok) why_ = QStringLiteral("the window manager did not make the window active");
    if (ok && !isTerminal()) {
        ok = reader_ != nullptr;
        // An application that was not on the accessibility bus yet when it took the focus
        // may not say so: the focus is moved away and back, a few times at most.
        bool found = false;
        for (int round = 0; ok && !found && round < 4; ++round) {
            if (round > 0) {
                // A window of our own takes the focus for a moment, so that the application
                // sees the focus leave and come back.
                const Window other = XCreateSimpleWindow(d, root, 0, 0, 64, 64, 0, 0, 0);
                XMapWindow(d, other);
                XFlush(d);
                waitUntil([&] {
                    const std::vector<Window> w = windowList(d, root, active);
                    return !w.empty() && w.front() == other;
                }, 5);
                XDestroyWindow(d, other);
                XSync(d, False);
                activate();
            }
            found = waitUntil(textAreaFocused, round == 0 ? 3 : 8);
        }
        if (ok && !found) {
            ok = false;
            why_ = QStringLiteral("no focused editable text area on the accessibility bus");
        }
    }
    XCloseDisplay(d);
    return ok;
}

QByteArray RealApp::bytes() const {
    QFile f(qEnvironmentVariable("MURMELO_APP_BYTES"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString RealApp::text() {
    if (isTerminal()) return lineEditorText(bytes());
    return reader_ ? reader_->text() : QString();
}

QStringList RealApp::controlBytes() const {
    QStringList out;
    if (!isTerminal()) return out;
    const QByteArray b = bytes();
    for (qsizetype i = 0; i < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c < 0x20 && c != '\r' && c != '\n' && c != 0x08)
            out << QStringLiteral("^%1 at %2").arg(QChar(c + 0x40)).arg(i);
    }
    return out;
}

}  // namespace murmelo::test
