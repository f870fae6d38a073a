#include "RealApp.h"

#include "DesktopHarness.h"
#include "linux/AtspiAccessibility.h"

#include <QFile>
#include <QGuiApplication>

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

}  // namespace

RealApp::RealApp() : name_(qEnvironmentVariable("MURMELO_APP")) {
    if (!isTerminal() && available()) ax_ = std::make_unique<linuxdesktop::AtspiAccessibility>();
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
    auto textAreaFocused = [&] {
        field_ = ax_->focusedElement();
        return field_ && ax_->attribute(*field_, AXNames::role).toString() == QLatin1String("AXTextArea") &&
               ax_->attribute(*field_, AXNames::editable).toBool();
    };
    bool ok = activate();
    if (!ok) why_ = QStringLiteral("the window manager did not make the window active");
    if (ok && !isTerminal()) {
        ok = ax_ && ax_->isConnected();
        if (!ok) why_ = QStringLiteral("no accessibility bus");
        // An application that took the focus before it was on the accessibility bus reports
        // it only when the focus comes again: away and back, a few times at most.
        bool found = false;
        for (int round = 0; ok && !found && round < 4; ++round) {
            if (round > 0) {
                XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
                XSync(d, False);
                activate();
            }
            found = waitUntil(textAreaFocused, 8);
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
    return field_ && ax_ ? ax_->attribute(*field_, AXNames::value).toString() : QString();
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
