#include "linux/XkbInputSources.h"

#include "linux/DesktopContext.h"
#include "linux/KeyTable.h"
#include "linux/OwnEventLedger.h"
#include "platform/MainQueue.h"

#include <QSocketNotifier>
#include <QTimer>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace murmelo::linuxdesktop {
namespace {

// The plain US and Russian layouts stand for the two layouts the core's layout switcher
// works with, and carry the identifiers it knows them by. Variants ("us(intl)" with its
// dead keys, "ru(phonetic)") put other characters on the keys, so they stay XKB sources.
QString logicalId(const QString& xkbId) {
    if (xkbId == QLatin1String("xkb:us")) return QStringLiteral("com.apple.keylayout.US");
    if (xkbId == QLatin1String("xkb:ru")) return QStringLiteral("com.apple.keylayout.Russian");
    return xkbId;
}

}  // namespace

XkbInputSources::XkbInputSources(const QString& displayName) {
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    const QByteArray name = displayName.toLocal8Bit();
    dpy_ = XkbOpenDisplay(displayName.isEmpty() ? nullptr : name.data(), &xkbEventBase_, &error, &major, &minor,
                          &reason);
    if (!dpy_) return;
    (void)opcode;
    ledgerListener_ = OwnEventLedger::shared().addGroupListener();
    XkbSelectEventDetails(dpy_, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask, XkbGroupStateMask);
    const unsigned long mapEvents = XkbNewKeyboardNotifyMask | XkbMapNotifyMask | XkbNamesNotifyMask;
    XkbSelectEvents(dpy_, XkbUseCoreKbd, mapEvents, mapEvents);
    reload();
    lastGroup_ = serverGroup_;
    notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    catchUp_ = DesktopContext::addCatchUp([this] {
        XSync(dpy_, False);
        drain();
    });
    XFlush(dpy_);
    scheduleDrain();
}

XkbInputSources::~XkbInputSources() {
    if (catchUp_) DesktopContext::removeCatchUp(catchUp_);
    if (ledgerListener_) OwnEventLedger::shared().removeGroupListener(ledgerListener_);
    delete notifier_;
    if (dpy_) XCloseDisplay(dpy_);
}

void XkbInputSources::reload() {
    QStringList ids = xkbLayoutIds(dpy_);
    const QStringList names = xkbGroupNames(dpy_);
    // A server without rule names still has named groups.
    if (ids.isEmpty())
        for (int i = 0; i < names.size(); ++i) ids << QStringLiteral("xkb:group%1").arg(i + 1);
    std::vector<InputSource> sources;
    for (int i = 0; i < ids.size() && i < XkbNumKbdGroups; ++i) {
        QString id = logicalId(ids[i]);
        // A layout configured twice keeps the logical id on its first group only: ids stay unique.
        for (const InputSource& s : sources)
            if (s.id == id) id = ids[i];
        sources.push_back({id, names.value(i).isEmpty() ? id : names[i]});
    }
    {
        std::lock_guard lock(mutex_);
        sources_ = std::move(sources);
        xkbIds_ = ids;
        keymap_.load(dpy_);
    }
    readGroup();
}

// Asks the server: at start, for a new keyboard, and after our own lock.
void XkbInputSources::readGroup() {
    XkbStateRec st{};
    if (XkbGetState(dpy_, XkbUseCoreKbd, &st) == Success) serverGroup_ = st.group;
}

int XkbInputSources::groupOf(const QString& id) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < sources_.size(); ++i)
        if (sources_[i].id == id) return static_cast<int>(i);
    return -1;
}

std::vector<InputSource> XkbInputSources::enabledSources() const {
    std::lock_guard lock(mutex_);
    return sources_;
}

std::optional<InputSource> XkbInputSources::currentSource() const {
    if (!dpy_) return std::nullopt;
    // While our poster types on a borrowed group, the user's group is still the current one.
    const int borrowedFrom = OwnEventLedger::shared().borrowedFrom();
    const int group = borrowedFrom >= 0 ? borrowedFrom : serverGroup_.load();
    std::lock_guard lock(mutex_);
    if (group >= static_cast<int>(sources_.size())) return std::nullopt;
    return sources_[group];
}

bool XkbInputSources::select(const QString& sourceId) {
    const int group = groupOf(sourceId);
    if (!dpy_ || group < 0) return false;
    if (switch_) {
        QString xkbId;
        {
            std::lock_guard lock(mutex_);
            xkbId = xkbIds_.value(group);
        }
        if (switch_->select(group, xkbId, [this, group] { lockGroup(group); })) return true;
    }
    return lockGroup(group);
}

bool XkbInputSources::lockGroup(int group) {
    if (!dpy_ || !XkbLockGroup(dpy_, XkbUseCoreKbd, group)) return false;
    // Read back at once, as a selection is: whoever asks next sees the group it got.
    readGroup();
    scheduleDrain();
    return true;
}

std::optional<QString> XkbInputSources::translate(const QString& sourceId, int keyCode, KeyLevel level) const {
    const int group = groupOf(sourceId);
    const auto kc = KeyTable::xKeycode(keyCode);
    if (group < 0 || !kc) return std::nullopt;
    std::lock_guard lock(mutex_);
    const bool shift = level == KeyLevel::Shift || level == KeyLevel::OptionShift;
    const bool option = level == KeyLevel::Option || level == KeyLevel::OptionShift;
    const QString t = XkbKeymap::text(keymap_.produced(*kc, group, shift, option));
    if (t.isEmpty()) return std::nullopt;
    return t;
}

bool XkbInputSources::isDeadKey(const QString& sourceId, int keyCode, bool shift) const {
    const int group = groupOf(sourceId);
    const auto kc = KeyTable::xKeycode(keyCode);
    if (group < 0 || !kc) return false;
    std::lock_guard lock(mutex_);
    return XkbKeymap::isDeadKeysym(keymap_.produced(*kc, group, shift, false));
}

void XkbInputSources::setSelectionHandler(std::function<void(const InputSource&)> handler) {
    onSelect_ = std::move(handler);
}

void XkbInputSources::setEnabledSourcesHandler(std::function<void()> handler) { onEnabled_ = std::move(handler); }

// Writing to the connection may make the X library read whatever the server sent meanwhile
// into its own buffer, where the socket notifier no longer sees it: every call that talks
// to the server is followed by a drain from the event loop.
void XkbInputSources::scheduleDrain() const {
    if (drainScheduled_) return;
    drainScheduled_ = true;
    auto* self = const_cast<XkbInputSources*>(this);
    QTimer::singleShot(0, self, [self] { self->drain(); });
}

void XkbInputSources::drain() {
    drainScheduled_ = false;
    if (!dpy_) return;
    bool enabledChanged = false;
    int group = -1;
    while (XPending(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (ev.type != xkbEventBase_) continue;
        const auto* xkb = reinterpret_cast<const XkbAnyEvent*>(&ev);
        switch (xkb->xkb_type) {
        case XkbStateNotify: {
            const auto* state = reinterpret_cast<const XkbStateNotifyEvent*>(&ev);
            serverGroup_ = state->group;
            // The poster's own locks to reach another layout's characters, and back.
            const bool own = (state->changed & XkbGroupLockMask) &&
                             OwnEventLedger::shared().claimGroupLock(ledgerListener_, state->locked_group,
                                                                     Clock::shared().uptime());
            if (!own) group = state->group;
            break;
        }
        case XkbNewKeyboardNotify:
        case XkbNamesNotify:
            enabledChanged = true;
            break;
        case XkbMapNotify: {
            std::lock_guard lock(mutex_);
            keymap_.load(dpy_);
            break;
        }
        default: break;
        }
    }
    if (enabledChanged) {
        const auto before = enabledSources();
        reload();
        if (enabledSources() != before && onEnabled_) onEnabled_();
    }
    if (group >= 0 && group != lastGroup_) {
        lastGroup_ = group;
        std::optional<InputSource> s;
        {
            std::lock_guard lock(mutex_);
            if (group < static_cast<int>(sources_.size())) s = sources_[group];
        }
        if (s && onSelect_) onSelect_(*s);
    }
}

}  // namespace murmelo::linuxdesktop
