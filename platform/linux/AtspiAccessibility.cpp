// GLib's headers use "signals" as a name, which Qt defines as a macro.
#undef signals
#include <atspi/atspi.h>

#include "linux/AtspiAccessibility.h"

#include "linux/FocusSearch.h"
#include "linux/GlibCallThread.h"
#include "linux/Utf16Offsets.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <map>
#include <string>
#include <unistd.h>

namespace murmelo::linuxdesktop {

namespace {
bool isOwn(AtspiAccessible* obj);
}

// The process's one AT-SPI connection and the thread all its calls run on. libatspi keeps
// its connections, its event queue and the GLib context it reports to in globals, and is
// not safe from two threads; so one thread, made on first use, serves every backend of the
// process and lives as long as the process (its context must never be freed while
// libatspi points at it).
struct AtspiAccessibility::Connection {
    GlibCallThread thread;
    std::atomic<bool> connected{false};
    // A context nobody runs: libatspi's connections are moved through it to put them back
    // on ours (see home()).
    GMainContext* parking = g_main_context_new();
    AtspiAccessible* focus = nullptr;  // owned reference, touched on the thread only
    AtspiEventListener* listener = nullptr;

    static Connection& shared() {
        static Connection* c = [] {
            auto* made = new Connection;
            made->start();
            return made;
        }();
        return *c;
    }

    // Runs fn on the AT-SPI thread; nothing when it was not done in time.
    template <class R>
    std::optional<R> call(std::function<R(CallGate&)> fn) {
        return thread.call<R>(
            [this, fn = std::move(fn)](CallGate& gate) {
                R r = fn(gate);
                home();
                return r;
            },
            CALL_TIMEOUT, CHANGE_GRACE);
    }

    // libatspi watches some connections from GLib's default context, which the main
    // thread's event loop runs: the accessibility bus once atspi_init has connected, and
    // the direct connection to each application it learns of. Dispatched there, its
    // handlers would run on the main thread beside ours. Setting the context anew moves
    // every connection it knows onto ours; it does nothing when the context is unchanged,
    // hence the detour.
    void home() {
        atspi_set_main_context(parking);
        atspi_set_main_context(thread.context());
    }

    void start() {
        const auto up = thread.call<bool>(
            [this](CallGate&) {
                // While the first backend is made its caller waits here and runs no loop;
                // holding the default context also keeps any other thread's loop away from
                // the bus until it is moved.
                GMainContext* main = g_main_context_default();
                const bool held = g_main_context_acquire(main);
                const int init = atspi_init();  // 0 connected, 1 connected before, else no bus
                if (init == 0 || init == 1) atspi_set_main_context(thread.context());
                if (held) g_main_context_release(main);
                if (init != 0 && init != 1) return false;
                atspi_set_timeout(DBUS_TIMEOUT_MS, DBUS_TIMEOUT_MS * 2);
                listener = atspi_event_listener_new(
                    [](AtspiEvent* event, void* data) {
                        auto* self = static_cast<Connection*>(data);
                        if (event->detail1 == 1 && event->source) {
                            if (self->focus) g_object_unref(self->focus);
                            // Our own windows are no target of text access.
                            self->focus = isOwn(event->source) ? nullptr
                                                               : static_cast<AtspiAccessible*>(g_object_ref(event->source));
                        }
                        g_boxed_free(ATSPI_TYPE_EVENT, event);
                    },
                    this, nullptr);
                GError* err = nullptr;
                const bool ok = atspi_event_listener_register(listener, "object:state-changed:focused", &err) && !err;
                if (err) g_error_free(err);
                connected = ok;
                return ok;
            },
            START_TIMEOUT);
        if (!up) qWarning("AT-SPI: the accessibility bus did not answer within %g s", START_TIMEOUT);
    }
};

namespace {

// An element: one reference to an AT-SPI object, released on the AT-SPI thread.
class AtspiElement : public AXElement {
public:
    explicit AtspiElement(AtspiAccessible* obj) : obj_(obj) {}
    ~AtspiElement() override {
        AtspiAccessible* obj = obj_;
        AtspiAccessibility::Connection::shared().thread.post([obj] { g_object_unref(obj); });
    }
    AtspiAccessible* obj() const { return obj_; }

private:
    AtspiAccessible* obj_;
};

AtspiAccessible* objOf(const AXElement& el) {
    auto* e = dynamic_cast<const AtspiElement*>(&el);
    return e ? e->obj() : nullptr;
}

void clearError(GError** e) {
    if (*e) g_error_free(*e);
    *e = nullptr;
}

bool hasState(AtspiAccessible* obj, AtspiStateType state) {
    AtspiStateSet* set = atspi_accessible_get_state_set(obj);
    if (!set) return false;
    const bool on = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return on;
}

// Whether an object belongs to this very process. Our own toolkit answers AT-SPI from the
// main thread, which waits for the AT-SPI thread during every call: asking it would only
// wait out the D-Bus time-out. The process id comes from the bus, not from the application;
// it is kept per bus name.
bool isOwn(AtspiAccessible* obj) {
    static std::map<std::string, bool> known;  // AT-SPI thread only
    AtspiApplication* app = obj ? ATSPI_OBJECT(obj)->app : nullptr;
    if (!app || !app->bus_name) return false;
    const auto it = known.find(app->bus_name);
    if (it != known.end()) return it->second;
    GError* err = nullptr;
    const guint pid = atspi_accessible_get_process_id(obj, &err);
    if (err) {
        g_error_free(err);
        return false;
    }
    const bool own = static_cast<pid_t>(pid) == getpid();
    known.emplace(app->bus_name, own);
    return own;
}

// The focused element of the desktop by search: applications, then their trees,
// breadth first, bounded so that a huge tree cannot stall the thread. Qt reports the current
// page tab as focused too, and it sits higher than the editor inside the page.
AtspiAccessible* searchFocus() {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return nullptr;
    GError* err = nullptr;
    std::vector<AtspiAccessible*> apps, owned;
    const int count = atspi_accessible_get_child_count(desktop, &err);
    clearError(&err);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* a = atspi_accessible_get_child_at_index(desktop, i, &err);
        if (a && isOwn(a)) g_object_unref(a);
        else if (a) apps.push_back(a);
    }
    clearError(&err);
    g_object_unref(desktop);
    owned = apps;
    const auto children = [&](AtspiAccessible* node) {
        std::vector<AtspiAccessible*> out;
        const int n = atspi_accessible_get_child_count(node, &err);
        clearError(&err);
        for (int c = 0; c < n && c < 500; ++c)
            if (AtspiAccessible* ch = atspi_accessible_get_child_at_index(node, c, &err)) out.push_back(ch);
        clearError(&err);
        owned.insert(owned.end(), out.begin(), out.end());
        return out;
    };
    const auto claim = [&](AtspiAccessible* node) {
        if (!hasState(node, ATSPI_STATE_FOCUSED)) return FocusClaim::none;
        const bool frame = atspi_accessible_get_role(node, &err) == ATSPI_ROLE_FRAME;
        clearError(&err);
        if (frame) return FocusClaim::none;
        return hasState(node, ATSPI_STATE_FOCUSABLE) ? FocusClaim::own : FocusClaim::borrowed;
    };
    const auto found = findFocused(std::move(apps), children, claim, 2000);
    AtspiAccessible* out = found ? static_cast<AtspiAccessible*>(g_object_ref(*found)) : nullptr;
    for (AtspiAccessible* a : owned) g_object_unref(a);
    return out;
}

QString textOf(AtspiAccessible* obj, bool* ok) {
    *ok = false;
    AtspiText* text = atspi_accessible_get_text_iface(obj);
    if (!text) return {};
    GError* err = nullptr;
    const int count = atspi_text_get_character_count(text, &err);
    QString out;
    if (!err) {
        gchar* s = atspi_text_get_text(text, 0, count, &err);
        if (!err && s) {
            out = QString::fromUtf8(s);
            *ok = true;
        }
        g_free(s);
    }
    clearError(&err);
    g_object_unref(text);
    return out;
}

// The selection (or the caret as an empty one) in characters.
std::optional<std::pair<int, int>> selectionOf(AtspiAccessible* obj) {
    AtspiText* text = atspi_accessible_get_text_iface(obj);
    if (!text) return std::nullopt;
    GError* err = nullptr;
    std::optional<std::pair<int, int>> out;
    if (atspi_text_get_n_selections(text, &err) > 0 && !err) {
        AtspiRange* r = atspi_text_get_selection(text, 0, &err);
        if (r && !err) out = std::pair{std::min(r->start_offset, r->end_offset), std::max(r->start_offset, r->end_offset)};
        g_free(r);
    }
    clearError(&err);
    if (!out) {
        const int caret = atspi_text_get_caret_offset(text, &err);
        if (!err && caret >= 0) out = std::pair{caret, caret};
        clearError(&err);
    }
    g_object_unref(text);
    return out;
}

QString roleName(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_SPIN_BUTTON: return QStringLiteral("AXTextField");
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_EDITBAR:
    case ATSPI_ROLE_TERMINAL: return QStringLiteral("AXTextArea");
    case ATSPI_ROLE_COMBO_BOX: return QStringLiteral("AXComboBox");
    case ATSPI_ROLE_APPLICATION: return QStringLiteral("AXApplication");
    case ATSPI_ROLE_DOCUMENT_WEB:
    case ATSPI_ROLE_DOCUMENT_FRAME: return QStringLiteral("AXWebArea");
    case ATSPI_ROLE_PUSH_BUTTON: return QStringLiteral("AXButton");
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_DIALOG: return QStringLiteral("AXWindow");
    default: return QStringLiteral("AXGroup");
    }
}

bool isTextAttribute(const QString& name) {
    return name == QLatin1String("AXValue") || name == QLatin1String("AXSelectedText") ||
           name == QLatin1String("AXSelectedTextRange");
}

// Writes the whole value: every toolkit implements it the same way, while partial inserts
// count their length in bytes in some toolkits and in UTF-16 units in others.
bool writeValue(AtspiAccessible* obj, const QString& value) {
    AtspiEditableText* e = atspi_accessible_get_editable_text_iface(obj);
    if (!e) return false;
    GError* err = nullptr;
    const bool ok = atspi_editable_text_set_text_contents(e, value.toUtf8().constData(), &err) && !err;
    clearError(&err);
    g_object_unref(e);
    return ok;
}

bool setSelectionChars(AtspiAccessible* obj, int start, int end) {
    AtspiText* text = atspi_accessible_get_text_iface(obj);
    if (!text) return false;
    GError* err = nullptr;
    bool ok;
    if (start == end) {
        // An empty selection is the caret: drop any selection first.
        if (atspi_text_get_n_selections(text, &err) > 0 && !err) atspi_text_remove_selection(text, 0, &err);
        clearError(&err);
        ok = atspi_text_set_caret_offset(text, start, &err) && !err;
    } else if (atspi_text_get_n_selections(text, &err) > 0 && !err) {
        ok = atspi_text_set_selection(text, 0, start, end, &err) && !err;
    } else {
        clearError(&err);
        ok = atspi_text_add_selection(text, start, end, &err) && !err;
    }
    clearError(&err);
    g_object_unref(text);
    return ok;
}

}  // namespace

AtspiAccessibility::AtspiAccessibility() : connection_(Connection::shared()) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isConnected() const { return connection_.connected; }

bool AtspiAccessibility::isProcessTrusted() {
    if (!isConnected()) return false;
    // The launcher of the accessibility bus keeps the switch; a session that reaches the bus
    // some other way has none, and then being connected is the answer.
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, DBUS_TIMEOUT_MS);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return true;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool AtspiAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    AtspiAccessible* x = objOf(a);
    return x ? x == objOf(b) : &a == &b;
}

bool AtspiAccessibility::reportsEmptyValueReliably(const AXElement& el) {
    AtspiAccessible* obj = objOf(el);
    if (!obj) return false;
    return connection_
        .call<bool>([obj](CallGate&) {
            AtspiText* text = atspi_accessible_get_text_iface(obj);
            if (!text) return false;
            g_object_unref(text);
            return true;
        })
        .value_or(false);
}

std::vector<int> AtspiAccessibility::connectionSockets() {
    if (!isConnected()) return {};
    return connection_
        .call<std::vector<int>>([](CallGate&) {
            std::vector<int> fds;
            int fd = -1;
            if (DBusConnection* bus = atspi_get_a11y_bus(); bus && dbus_connection_get_unix_fd(bus, &fd)) fds.push_back(fd);
            return fds;
        })
        .value_or(std::vector<int>{});
}

AXElementPtr AtspiAccessibility::focusedElement(AXError* error) {
    if (!isConnected()) {
        if (error) *error = AXError::cannotComplete;
        return nullptr;
    }
    Connection* w = &connection_;
    auto found = w->call<AtspiAccessible*>([w](CallGate&) -> AtspiAccessible* {
        if (w->focus && hasState(w->focus, ATSPI_STATE_FOCUSED)) return static_cast<AtspiAccessible*>(g_object_ref(w->focus));
        // No event yet, or the element lost the focus without telling: look.
        AtspiAccessible* f = searchFocus();
        if (f) {
            if (w->focus) g_object_unref(w->focus);
            w->focus = static_cast<AtspiAccessible*>(g_object_ref(f));
        }
        return f;
    });
    if (!found || !*found) {
        if (error) *error = found ? AXError::noValue : AXError::cannotComplete;
        return nullptr;
    }
    if (error) *error = AXError::success;
    return std::make_shared<AtspiElement>(*found);
}

AXElementPtr AtspiAccessibility::applicationElement(qint64 pid) {
    if (!isConnected() || pid == getpid()) return nullptr;
    auto found = connection_.call<AtspiAccessible*>([pid](CallGate&) -> AtspiAccessible* {
        AtspiAccessible* desktop = atspi_get_desktop(0);
        if (!desktop) return nullptr;
        GError* err = nullptr;
        AtspiAccessible* match = nullptr;
        const int n = atspi_accessible_get_child_count(desktop, &err);
        clearError(&err);
        for (int i = 0; i < n && !match; ++i) {
            AtspiAccessible* a = atspi_accessible_get_child_at_index(desktop, i, &err);
            clearError(&err);
            if (!a) continue;
            if (static_cast<qint64>(atspi_accessible_get_process_id(a, &err)) == pid && !err) match = a;
            else g_object_unref(a);
            clearError(&err);
        }
        g_object_unref(desktop);
        return match;
    });
    if (!found || !*found) return nullptr;
    return std::make_shared<AtspiElement>(*found);
}

QVariant AtspiAccessibility::attribute(const AXElement& el, const QString& name, AXError* error) {
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<std::pair<QVariant, AXError>>([obj, name](CallGate&) -> std::pair<QVariant, AXError> {
        if (!obj) return {{}, AXError::invalidUIElement};
        GError* err = nullptr;
        const AtspiRole role = atspi_accessible_get_role(obj, &err);
        if (err) {
            clearError(&err);
            return {{}, AXError::invalidUIElement};
        }
        if (name == QLatin1String("AXRole")) {
            // Some toolkits (Qt among them) give one-line and multi-line editors the same
            // text role; only the multi-line state tells them apart (Qt sets no
            // single-line state).
            if (role == ATSPI_ROLE_TEXT && !hasState(obj, ATSPI_STATE_MULTI_LINE))
                return {QStringLiteral("AXTextField"), AXError::success};
            return {roleName(role), AXError::success};
        }
        if (name == QLatin1String("AXSubrole")) {
            if (role == ATSPI_ROLE_PASSWORD_TEXT) return {QStringLiteral("AXSecureTextField"), AXError::success};
            return {{}, AXError::noValue};
        }
        if (name == QLatin1String("AXIsEditable")) return {hasState(obj, ATSPI_STATE_EDITABLE), AXError::success};
        if (name == QLatin1String("AXTitle") || name == QLatin1String("AXDescription")) {
            gchar* s = name == QLatin1String("AXTitle") ? atspi_accessible_get_name(obj, &err)
                                                        : atspi_accessible_get_description(obj, &err);
            const bool ok = !err && s && *s;
            const QString out = ok ? QString::fromUtf8(s) : QString();
            g_free(s);
            clearError(&err);
            return ok ? std::pair{QVariant(out), AXError::success} : std::pair{QVariant(), AXError::noValue};
        }
        if (!isTextAttribute(name)) return {{}, AXError::attributeUnsupported};
        bool ok = false;
        const QString value = textOf(obj, &ok);
        if (!ok) return {{}, AXError::attributeUnsupported};
        if (name == QLatin1String("AXValue")) return {value, AXError::success};
        const auto sel = selectionOf(obj);
        if (!sel) return {{}, AXError::noValue};
        const qsizetype start = utf16FromCharacters(value, sel->first);
        const qsizetype end = utf16FromCharacters(value, sel->second);
        if (name == QLatin1String("AXSelectedText")) return {value.mid(start, end - start), AXError::success};
        return {QVariant::fromValue(AXRange{start, end - start}), AXError::success};
    });
    if (!answer) {
        if (error) *error = AXError::cannotComplete;
        return {};
    }
    if (error) *error = answer->second;
    return answer->first;
}

AXError AtspiAccessibility::setAttribute(const AXElement& el, const QString& name, const QVariant& value) {
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<AXError>([obj, name, value](CallGate& gate) -> AXError {
        if (!obj) return AXError::invalidUIElement;
        if (!isTextAttribute(name)) return AXError::attributeUnsupported;
        if (!hasState(obj, ATSPI_STATE_EDITABLE)) return AXError::cannotComplete;
        bool ok = false;
        const QString current = textOf(obj, &ok);
        if (!ok) return AXError::attributeUnsupported;
        if (name == QLatin1String("AXValue")) {
            if (value.typeId() != QMetaType::QString) return AXError::illegalArgument;
            if (!gate.commit()) return AXError::cannotComplete;
            return writeValue(obj, value.toString()) ? AXError::success : AXError::cannotComplete;
        }
        if (name == QLatin1String("AXSelectedTextRange")) {
            if (!value.canConvert<AXRange>()) return AXError::illegalArgument;
            const AXRange r = value.value<AXRange>();
            if (r.location < 0 || r.length < 0 || r.location + r.length > current.size()) return AXError::illegalArgument;
            const int start = static_cast<int>(charactersFromUtf16(current, r.location));
            const int end = static_cast<int>(charactersFromUtf16(current, r.location + r.length));
            if (!gate.commit()) return AXError::cannotComplete;
            return setSelectionChars(obj, start, end) ? AXError::success : AXError::cannotComplete;
        }
        // AXSelectedText: the selection (or the caret) is replaced, the caret ends after.
        if (value.typeId() != QMetaType::QString) return AXError::illegalArgument;
        const auto sel = selectionOf(obj);
        if (!sel) return AXError::cannotComplete;
        const qsizetype start = utf16FromCharacters(current, sel->first);
        const qsizetype end = utf16FromCharacters(current, sel->second);
        const QString text = value.toString();
        QString next = current;
        next.replace(start, end - start, text);
        if (!gate.commit() || !writeValue(obj, next)) return AXError::cannotComplete;
        const int caret = static_cast<int>(charactersFromUtf16(next, start + text.size()));
        setSelectionChars(obj, caret, caret);
        return AXError::success;
    });
    return answer.value_or(AXError::cannotComplete);
}

AXError AtspiAccessibility::isAttributeSettable(const AXElement& el, const QString& name, bool* settable) {
    if (settable) *settable = false;
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<std::pair<bool, AXError>>([obj, name](CallGate&) -> std::pair<bool, AXError> {
        if (!obj) return {false, AXError::invalidUIElement};
        if (!isTextAttribute(name)) return {false, AXError::success};
        AtspiEditableText* e = atspi_accessible_get_editable_text_iface(obj);
        const bool can = e && hasState(obj, ATSPI_STATE_EDITABLE);
        if (e) g_object_unref(e);
        return {can, AXError::success};
    });
    if (!answer) return AXError::cannotComplete;
    if (settable) *settable = answer->first;
    return answer->second;
}

AXElementPtr AtspiAccessibility::elementAtPoint(const AXElement& application, QPointF point, AXError* error) {
    AtspiAccessible* app = objOf(application);
    const int x = static_cast<int>(point.x());
    const int y = static_cast<int>(point.y());
    auto found = connection_.call<AtspiAccessible*>([app, x, y](CallGate&) -> AtspiAccessible* {
        if (!app) return nullptr;
        GError* err = nullptr;
        AtspiAccessible* hit = nullptr;
        // The window under the point, then the deepest child the toolkit reports there; a
        // bounded descent, since a broken toolkit may answer an element with itself.
        const int n = atspi_accessible_get_child_count(app, &err);
        clearError(&err);
        for (int i = 0; i < n && !hit; ++i) {
            AtspiAccessible* w = atspi_accessible_get_child_at_index(app, i, &err);
            clearError(&err);
            if (!w) continue;
            AtspiComponent* c = atspi_accessible_get_component_iface(w);
            const bool inside = c && atspi_component_contains(c, x, y, ATSPI_COORD_TYPE_SCREEN, &err) && !err;
            clearError(&err);
            if (c) g_object_unref(c);
            if (inside) hit = w;
            else g_object_unref(w);
        }
        for (int depth = 0; hit && depth < 32; ++depth) {
            AtspiComponent* c = atspi_accessible_get_component_iface(hit);
            if (!c) break;
            AtspiAccessible* child = atspi_component_get_accessible_at_point(c, x, y, ATSPI_COORD_TYPE_SCREEN, &err);
            clearError(&err);
            g_object_unref(c);
            if (!child) break;
            if (child == hit) {
                g_object_unref(child);
                break;
            }
            g_object_unref(hit);
            hit = child;
        }
        return hit;
    });
    if (!found || !*found) {
        if (error) *error = found ? AXError::noValue : AXError::cannotComplete;
        return nullptr;
    }
    if (error) *error = AXError::success;
    return std::make_shared<AtspiElement>(*found);
}

AXElementPtr AtspiAccessibility::parent(const AXElement& el, AXError* error) {
    AtspiAccessible* obj = objOf(el);
    auto found = connection_.call<AtspiAccessible*>([obj](CallGate&) -> AtspiAccessible* {
        if (!obj) return nullptr;
        GError* err = nullptr;
        AtspiAccessible* p = atspi_accessible_get_parent(obj, &err);
        clearError(&err);
        // An application's parent is the desktop: no element of the application.
        if (p && atspi_accessible_get_role(p, &err) == ATSPI_ROLE_DESKTOP_FRAME) {
            g_object_unref(p);
            p = nullptr;
        }
        clearError(&err);
        return p;
    });
    if (!found || !*found) {
        if (error) *error = found ? AXError::noValue : AXError::cannotComplete;
        return nullptr;
    }
    if (error) *error = AXError::success;
    return std::make_shared<AtspiElement>(*found);
}

std::optional<QRectF> AtspiAccessibility::boundsForRange(const AXElement& el, AXRange range, AXError* error) {
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<std::optional<QRectF>>([obj, range](CallGate&) -> std::optional<QRectF> {
        if (!obj) return std::nullopt;
        bool ok = false;
        const QString value = textOf(obj, &ok);
        if (!ok) return std::nullopt;
        AtspiText* text = atspi_accessible_get_text_iface(obj);
        if (!text) return std::nullopt;
        GError* err = nullptr;
        const int start = static_cast<int>(charactersFromUtf16(value, range.location));
        const int end = static_cast<int>(charactersFromUtf16(value, range.location + range.length));
        AtspiRect* r = atspi_text_get_range_extents(text, start, end, ATSPI_COORD_TYPE_SCREEN, &err);
        std::optional<QRectF> out;
        if (r && !err) out = QRectF(r->x, r->y, r->width, r->height);
        g_free(r);
        clearError(&err);
        g_object_unref(text);
        return out;
    });
    const bool ok = answer && *answer;
    if (error) *error = ok ? AXError::success : AXError::cannotComplete;
    return ok ? *answer : std::nullopt;
}

std::optional<qint64> AtspiAccessibility::pid(const AXElement& el) {
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<std::optional<qint64>>([obj](CallGate&) -> std::optional<qint64> {
        if (!obj) return std::nullopt;
        GError* err = nullptr;
        const guint p = atspi_accessible_get_process_id(obj, &err);
        const bool ok = !err && p > 0;
        clearError(&err);
        return ok ? std::optional<qint64>(p) : std::nullopt;
    });
    return answer ? *answer : std::nullopt;
}

AXElementPtr AtspiAccessibility::windowOf(const AXElement& application, WindowKind kind, AXError* error) {
    AtspiAccessible* app = objOf(application);
    auto answer = connection_.call<std::pair<AtspiAccessible*, AXError>>(
        [app, kind](CallGate&) -> std::pair<AtspiAccessible*, AXError> {
            if (!app) return {nullptr, AXError::invalidUIElement};
            GError* err = nullptr;
            const int n = atspi_accessible_get_child_count(app, &err);
            if (err) {
                clearError(&err);
                return {nullptr, AXError::cannotComplete};
            }
            for (int i = 0; i < n; ++i) {
                AtspiAccessible* w = atspi_accessible_get_child_at_index(app, i, &err);
                clearError(&err);
                if (!w) continue;
                if (kind == WindowKind::main || hasState(w, ATSPI_STATE_ACTIVE)) return {w, AXError::success};
                g_object_unref(w);
            }
            return {nullptr, AXError::noValue};
        });
    if (!answer) {
        if (error) *error = AXError::cannotComplete;
        return nullptr;
    }
    if (error) *error = answer->second;
    return answer->first ? std::make_shared<AtspiElement>(answer->first) : nullptr;
}

std::vector<AXElementPtr> AtspiAccessibility::children(const AXElement& el, AXError* error) {
    AtspiAccessible* obj = objOf(el);
    auto answer = connection_.call<std::pair<std::vector<AtspiAccessible*>, AXError>>(
        [obj](CallGate&) -> std::pair<std::vector<AtspiAccessible*>, AXError> {
            if (!obj) return {{}, AXError::invalidUIElement};
            GError* err = nullptr;
            const int n = atspi_accessible_get_child_count(obj, &err);
            if (err) {
                clearError(&err);
                return {{}, AXError::cannotComplete};
            }
            std::vector<AtspiAccessible*> out;
            for (int i = 0; i < n && i < MAX_CHILDREN; ++i) {
                AtspiAccessible* child = atspi_accessible_get_child_at_index(obj, i, &err);
                clearError(&err);
                if (child) out.push_back(child);
            }
            return {out, AXError::success};
        });
    if (!answer) {
        if (error) *error = AXError::cannotComplete;
        return {};
    }
    if (error) *error = answer->second;
    std::vector<AXElementPtr> out;
    out.reserve(answer->first.size());
    for (AtspiAccessible* child : answer->first) out.push_back(std::make_shared<AtspiElement>(child));
    return out;
}

// AT-SPI has one time-out for all calls: the shortest asked for wins until a longer one is
// asked for again.
AXError AtspiAccessibility::setMessagingTimeout(const AXElement&, float seconds) {
    const int ms = std::clamp(static_cast<int>(seconds * 1000), 50, DBUS_TIMEOUT_MS);
    connection_.call<bool>([ms](CallGate&) {
        atspi_set_timeout(ms, ms * 2);
        return true;
    });
    return AXError::success;
}

// Keeps the event loop (and so our own clipboard and windows) running while the other
// application applies a write.
void AtspiAccessibility::settle(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace murmelo::linuxdesktop
