#include "linux/XTestKeyPoster.h"

#include "linux/AppKeyExceptions.h"
#include "linux/KeyTable.h"
#include "linux/OwnEventLedger.h"
#include "linux/UserKeys.h"
#include "linux/XErrorTrap.h"
#include "linux/XiEventTap.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <QTimer>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace murmelo::linuxdesktop {
namespace {

constexpr int kShiftKeycode = 50;  // Shift_L

// The X key codes of the modifier keys for the core's flags.
constexpr std::pair<quint64, int> kFlagKeys[] = {
    {KeyTable::FLAG_COMMAND, 37}, {KeyTable::FLAG_SHIFT, 50}, {KeyTable::FLAG_OPTION, 64}, {KeyTable::FLAG_CONTROL, 133}};

double uptime() { return Clock::shared().uptime(); }

}  // namespace

XTestKeyPoster::XTestKeyPoster(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    dpy_ = XOpenDisplay(displayName.isEmpty() ? nullptr : name.data());
    if (!dpy_) return;
    int ev, err, major, minor;
    if (!XTestQueryExtension(dpy_, &ev, &err, &major, &minor) || !keymap_.load(dpy_)) {
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
    }
    if (dpy_) mapSpaceTwin();
    heldTimer_.setSingleShot(true);
    heldTimer_.setInterval(int(HELD_WAIT * 1000));
    connect(&heldTimer_, &QTimer::timeout, this, [this] { resume(true); });
    landingTimer_.setSingleShot(true);
    landingTimer_.setInterval(int(OwnEventLedger::MAX_AGE * 1000) + 100);
    connect(&landingTimer_, &QTimer::timeout, this, [this] { checkLanding(); });
    // Claims come on the event stream's thread: the check runs on ours, and only while
    // somebody waits.
    landingWatched_ = std::make_shared<std::atomic<bool>>(false);
    OwnEventLedger::shared().setClaimListener([this, watched = landingWatched_] {
        if (watched->load()) QMetaObject::invokeMethod(this, [this] { checkLanding(); }, Qt::QueuedConnection);
    });
}

XTestKeyPoster::~XTestKeyPoster() {
    landingWatched_->store(false);
    OwnEventLedger::shared().setClaimListener({});
    if (!dpy_) return;
    batch_ = 0;
    restore();
    if (spaceTwin_) {
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(dpy_, spaceTwin_, 1, &none, 1);
    }
    XCloseDisplay(dpy_);
}

bool XTestKeyPoster::sendKey(int keycode, bool press, qint64 userData, unsigned long delayMs) {
    OwnEventLedger::shared().expect(keycode, press, userData, uptime());
    return XTestFakeKeyEvent(dpy_, static_cast<unsigned>(keycode), press ? True : False, delayMs) != 0;
}

// Asking the server writes out every key sent before: inside a batch it is asked once, and
// our own locks are followed from there.
int XTestKeyPoster::currentGroup() {
    if (batch_ > 0 && batchGroup_ >= 0) return batchGroup_;
    XkbStateRec st{};
    const int group = XkbGetState(dpy_, XkbUseCoreKbd, &st) == Success ? st.group : 0;
    if (batch_ > 0) batchGroup_ = group;
    return group;
}

bool XTestKeyPoster::post(const KeyEvent& event) {
    if (!dpy_) return false;
    if (!waiting_.empty() || blocked(event)) {
        if (waiting_.empty()) waitingSince_ = UserKeys::shared().latest();
        waiting_.push_back(event);
        if (!heldTimer_.isActive()) heldTimer_.start();
        return true;
    }
    return send(event);
}

bool XTestKeyPoster::postAhead(const KeyEvent& event) { return dpy_ && send(event); }

void XTestKeyPoster::resume(bool anyway) {
    if (!waiting_.empty() && UserKeys::shared().fixedAfter(waitingSince_)) {
        int dropped = 0;
        for (const KeyEvent& k : waiting_) {
            if (k.userData == XiEventTap::REPLAY_MARK) send(k);
            else ++dropped;
        }
        qWarning("keys: a Return, click or shortcut of the user's landed while %d keys of ours waited for a held key; "
                 "they are dropped (they would land after it)", dropped);
        waiting_.clear();
        heldTimer_.stop();
        for (auto& landed : std::exchange(afterWaiting_, {})) watchLanding(std::move(landed));
        return;
    }
    // A key the user typed after letting go has landed but is not answered yet: our keys
    // go out after its answer, which makes way for them (else it would erase ours).
    if (!anyway && !waiting_.empty() && UserKeys::shared().unanswered()) return;
    if (anyway && !waiting_.empty())
        qWarning("keys: the user held a key for over %g s; %d waiting keys go out now", HELD_WAIT, int(waiting_.size()));
    while (!waiting_.empty() && (anyway || !blocked(waiting_.front()))) {
        const KeyEvent next = waiting_.front();
        waiting_.pop_front();
        send(next);
    }
    if (!waiting_.empty()) return;
    heldTimer_.stop();
    for (auto& landed : std::exchange(afterWaiting_, {})) watchLanding(std::move(landed));
}

void XTestKeyPoster::afterLanding(std::function<void()> landed) {
    if (!dpy_) {
        landed();
        return;
    }
    if (!waiting_.empty()) {
        afterWaiting_.push_back(std::move(landed));
        return;
    }
    watchLanding(std::move(landed));
}

void XTestKeyPoster::watchLanding(std::function<void()> landed) {
    OwnEventLedger& ledger = OwnEventLedger::shared();
    const quint64 upTo = ledger.lastExpected();
    if (ledger.landed(upTo, uptime())) {
        landed();
        return;
    }
    landing_.push_back({upTo, std::move(landed)});
    landingWatched_->store(true);
    if (!landingTimer_.isActive()) landingTimer_.start();
}

// A key that never comes back ages out of the ledger: the timer's check lets its waiter go.
void XTestKeyPoster::checkLanding() {
    OwnEventLedger& ledger = OwnEventLedger::shared();
    std::vector<std::function<void()>> due;
    for (auto it = landing_.begin(); it != landing_.end();) {
        if (ledger.landed(it->first, uptime())) {
            due.push_back(std::move(it->second));
            it = landing_.erase(it);
        } else {
            ++it;
        }
    }
    landingWatched_->store(!landing_.empty());
    if (landing_.empty()) landingTimer_.stop();
    else if (!landingTimer_.isActive()) landingTimer_.start();
    for (auto& landed : due) landed();
}

bool XTestKeyPoster::blocked(const KeyEvent& event) {
    const UserKeys& user = UserKeys::shared();
    if (!user.anyHeld()) return false;
    // A key up of ours changes nothing the user holds.
    if (!event.keyDown && event.unicode.isEmpty()) {
        const auto kc = KeyTable::xKeycode(event.keyCode);
        return kc && user.isHeld(*kc);
    }
    if (user.modifierHeld()) return true;
    for (int kc : keycodesOf(event))
        if (user.isHeld(kc)) return true;
    return false;
}

// The key codes a post presses: the key itself (with the modifier keys it adds), or the keys
// that type its text in the group that has them; spare key codes are nobody's.
std::vector<int> XTestKeyPoster::keycodesOf(const KeyEvent& event) {
    std::vector<int> out;
    if (event.unicode.isEmpty()) {
        if (const auto kc = KeyTable::xKeycode(event.keyCode)) out.push_back(*kc);
        for (auto [f, mkc] : kFlagKeys)
            if (event.flags & f) out.push_back(mkc);
        return out;
    }
    refreshKeymap();
    const int group = currentGroup();
    for (char32_t c : event.unicode.toUcs4()) {
        const auto place = placeOf(c, group);
        if (!place) continue;
        out.push_back(place->keycode);
        if (place->shift) out.push_back(kShiftKeycode);
    }
    return out;
}

// The key that types a character in the group (or in another group that has it), on its
// plain or Shift level: a level-three key needs a modifier that may not exist. The space twin
// stands in for a space key the user holds, once clients have read its mapping.
std::optional<XTestKeyPoster::Place> XTestKeyPoster::placeOf(char32_t c, int group) {
    const auto places = keymap_.find(c, group);
    const auto it = std::find_if(places.begin(), places.end(),
                                 [this](const XkbKeymap::Place& p) { return p.level <= 1 && p.keycode != spaceTwin_; });
    if (it == places.end()) return std::nullopt;
    if (c == U' ' && spaceTwinReady() && UserKeys::shared().isHeld(it->keycode))
        return Place{spaceTwin_, group, false};
    return Place{it->keycode, it->group, it->level == 1};
}

bool XTestKeyPoster::spaceTwinReady() const { return spaceTwin_ && uptime() >= spaceTwinReadyAt_; }

// Kept mapped for as long as the poster lives (a key code lent for one text is mapped just
// before its key and needs a pause), and mapped again when another client's new map took it.
void XTestKeyPoster::mapSpaceTwin() {
    const int old = spaceTwin_;
    spaceTwin_ = 0;
    for (int kc = keymap_.maxKeycode(); kc >= keymap_.minKeycode() && kc > 8; --kc)
        if (kc != old && keymap_.isEmpty(kc) && !remapped_.contains(kc)) {
            spaceTwin_ = kc;
            break;
        }
    if (!spaceTwin_) {
        qWarning("keys: no spare key code for a second space key; our spaces wait while the user holds theirs");
        return;
    }
    KeySym space = XK_space;
    XChangeKeyboardMapping(dpy_, spaceTwin_, 1, &space, 1);
    XFlush(dpy_);
    spaceTwinReadyAt_ = uptime() + REMAP_SETTLE_MS / 1000.0;
}

// Another client may have changed the keyboard since the copy was read; our own remap in
// force is no reason to read it (its spare key codes are tracked here).
void XTestKeyPoster::refreshKeymap() {
    const unsigned long changes = XkbKeymap::serverChanges().load();
    // Reading it would write out the batch's keys sent so far: the batch's end reads it.
    if (changes == keymapSeen_ || !remapped_.isEmpty() || batchSent_) return;
    if (!keymap_.load(dpy_)) return;
    keymapSeen_ = changes;
    if (spaceTwin_ && keymap_.keysym(spaceTwin_, 0, 0) != XK_space) mapSpaceTwin();
}

bool XTestKeyPoster::send(const KeyEvent& event) {
    refreshKeymap();
    bool ok = true;
    if (!event.unicode.isEmpty()) {
        if (event.keyDown) ok = typeText(event.unicode, event.userData);
    } else {
        const auto kc = KeyTable::xKeycode(event.keyCode);
        if (!kc) return false;
        const quint64 flag = KeyTable::modifierFlag(event.keyCode);
        if (flag) {
            ok = sendKey(*kc, event.keyDown, event.userData);
            if (event.keyDown) heldFlags_ |= flag;
            else heldFlags_ &= ~flag;
        } else if (clipboardKeyInTerminal(event, ok)) {
        } else {
            // Flags the event asks for (as the front application takes the shortcut) and
            // our own modifier keys do not hold.
            quint64 want = event.flags;
            if (event.keyDown && AppKeyExceptions::mayDiffer(event.keyCode, event.flags | heldFlags_))
                want = AppKeyExceptions::shortcutFlags(frontIds(), event.keyCode, event.flags | heldFlags_);
            std::vector<int> extra;
            if (event.keyDown)
                for (auto [f, mkc] : kFlagKeys)
                    if ((want & f) && !(heldFlags_ & f)) extra.push_back(mkc);
            for (int m : extra) ok = sendKey(m, true, event.userData) && ok;
            ok = sendKey(*kc, event.keyDown, event.userData) && ok;
            for (auto it = extra.rbegin(); it != extra.rend(); ++it) ok = sendKey(*it, false, event.userData) && ok;
        }
    }
    if (batch_ == 0) XFlush(dpy_);
    else batchSent_ = true;
    return ok;
}

void XTestKeyPoster::beginBatch() {
    if (batch_++ == 0) {
        batchGroup_ = -1;
        batchSent_ = false;
        if (dpy_) batchRequest_ = NextRequest(dpy_);
    }
}

void XTestKeyPoster::endBatch() {
    if (batch_ == 0 || --batch_ > 0 || !dpy_) return;
    // Every user's key opens a batch: most send nothing, and a flush reads the connection.
    const bool anything = batchSent_ || NextRequest(dpy_) != batchRequest_;
    batchSent_ = false;
    if (anything) XFlush(dpy_);
    if (restoreAfterBatch_) {
        restoreAfterBatch_ = false;
        scheduleRestore();
    }
}

FrontEditing XTestKeyPoster::frontEditing() {
    const QStringList ids = frontIds();
    bool terminal = false;
    for (const QString& id : ids) {
        if (AppKeyExceptions::lacksClipboardKeys(id)) return FrontEditing::terminalWithoutClipboardKeys;
        terminal = terminal || AppKeyExceptions::isTerminal(id);
    }
    return terminal ? FrontEditing::terminal : FrontEditing::editor;
}

// Command-C and Command-V (Ctrl+C, Ctrl+V) for a terminal that has no clipboard keys: the
// copy is never sent (it would interrupt the running program); the paste puts the clipboard
// into PRIMARY and sends Shift+Insert, with our own Ctrl let go around it. True when the event
// was such a key and is dealt with.
bool XTestKeyPoster::clipboardKeyInTerminal(const KeyEvent& event, bool& ok) {
    constexpr int kVirtualC = 8, kVirtualV = 9;
    constexpr int kInsertKeycode = 118, kCtrlKeycode = 37;
    constexpr quint64 others = KeyTable::FLAG_SHIFT | KeyTable::FLAG_OPTION | KeyTable::FLAG_CONTROL;
    const quint64 flags = event.flags | heldFlags_;
    if ((event.keyCode != kVirtualC && event.keyCode != kVirtualV) || !(flags & KeyTable::FLAG_COMMAND) ||
        (flags & others))
        return false;
    if (frontEditing() != FrontEditing::terminalWithoutClipboardKeys) return false;
    if (!event.keyDown) return true;
    if (event.keyCode == kVirtualC) {
        qWarning("keys: the terminal in front has no copy key (Ctrl+C would interrupt its program); nothing sent");
        ok = false;
        return true;
    }
    if (!primaryMirror_ || !primaryMirror_()) {
        qWarning("keys: nothing to paste into the terminal in front (PRIMARY not set)");
        ok = false;
        return true;
    }
    const bool ctrlHeld = heldFlags_ & KeyTable::FLAG_COMMAND;
    if (ctrlHeld) ok = sendKey(kCtrlKeycode, false, event.userData) && ok;
    ok = sendKey(kShiftKeycode, true, event.userData) && ok;
    ok = sendKey(kInsertKeycode, true, event.userData) && ok;
    ok = sendKey(kInsertKeycode, false, event.userData) && ok;
    ok = sendKey(kShiftKeycode, false, event.userData) && ok;
    if (ctrlHeld) ok = sendKey(kCtrlKeycode, true, event.userData) && ok;
    return true;
}

QStringList XTestKeyPoster::frontIds() const {
    if (frontIds_) return frontIds_();
    const auto front = Workspace::shared().frontmostApplication();
    return front ? QStringList{front->bundleIdentifier} : QStringList{};
}

int XTestKeyPoster::keycodeForKeysym(unsigned long keysym) const {
    for (auto it = remapped_.begin(); it != remapped_.end(); ++it)
        if (it.value() == keysym) return it.key();
    return 0;
}

// A key code with no symbols at all, not yet lent to another character.
int XTestKeyPoster::spareKeycodeFor(unsigned long keysym) {
    for (int kc = keymap_.maxKeycode(); kc >= keymap_.minKeycode() && kc > 8; --kc)
        if (kc != spaceTwin_ && keymap_.isEmpty(kc) && !remapped_.contains(kc)) {
            remapped_.insert(kc, keysym);
            return kc;
        }
    return 0;
}

bool XTestKeyPoster::typeText(const QString& text, qint64 userData) {
    const int group = currentGroup();
    struct Step {
        int keycode;
        int group;
        bool shift;
        bool fresh;  // on a key code remapped by this call
    };
    std::vector<Step> steps;
    std::vector<std::pair<int, unsigned long>> remapNow;
    for (char32_t c : text.toUcs4()) {
        const unsigned long sym = XkbKeymap::keysymFor(c);
        if (!sym) return false;
        if (const auto place = placeOf(c, group)) {
            steps.push_back({place->keycode, place->group, place->shift, false});
            continue;
        }
        int kc = keycodeForKeysym(sym);
        bool fresh = false;
        if (!kc) {
            kc = spareKeycodeFor(sym);
            if (!kc) return false;
            remapNow.push_back({kc, sym});
            fresh = true;
        }
        steps.push_back({kc, -1, false, fresh});
    }
    // One remap for every new character of this text.
    if (!remapNow.empty()) {
        XErrorTrap trap(dpy_);
        for (auto [kc, sym] : remapNow) {
            KeySym syms[] = {sym, sym};
            XChangeKeyboardMapping(dpy_, kc, 2, syms, 1);
        }
        if (trap.finish()) {
            qWarning("keys: remapping spare key codes failed (%s); the text is not typed", qPrintable(trap.describe()));
            scheduleRestore();
            return false;
        }
    }
    bool ok = true;
    bool settle = !remapNow.empty();
    int locked = group;
    for (const Step& s : steps) {
        if (s.group >= 0 && s.group != locked) {
            if (userGroup_ < 0) {
                userGroup_ = group;
                OwnEventLedger::shared().setBorrowedFrom(group);
            }
            OwnEventLedger::shared().expectGroupLock(s.group, uptime());
            XkbLockGroup(dpy_, XkbUseCoreKbd, s.group);
            locked = s.group;
            if (batch_ > 0) batchGroup_ = s.group;
        }
        if (s.shift) ok = sendKey(kShiftKeycode, true, userData) && ok;
        ok = sendKey(s.keycode, true, userData, settle ? REMAP_SETTLE_MS : 0) && ok;
        settle = false;
        ok = sendKey(s.keycode, false, userData) && ok;
        if (s.shift) ok = sendKey(kShiftKeycode, false, userData) && ok;
    }
    if (userGroup_ >= 0) lockedGroup_ = locked;
    if (userGroup_ >= 0 || !remapped_.isEmpty()) scheduleRestore();
    return ok;
}

// Posts of one delivery come back to back inside one turn of the event loop; the user's
// group and the spare key codes come back after it.
void XTestKeyPoster::scheduleRestore() {
    if (restoreScheduled_) return;
    restoreScheduled_ = true;
    QTimer::singleShot(0, this, [this] { restore(); });
}

void XTestKeyPoster::restore() {
    restoreScheduled_ = false;
    if (!dpy_) return;
    if (batch_ > 0) {
        restoreAfterBatch_ = true;
        return;
    }
    if (userGroup_ >= 0) {
        // A text that ended on the user's group needs no lock back (and would leave an
        // expected change that never comes).
        if (lockedGroup_ != userGroup_) {
            OwnEventLedger::shared().expectGroupLock(userGroup_, uptime());
            XkbLockGroup(dpy_, XkbUseCoreKbd, userGroup_);
        }
        userGroup_ = -1;
        lockedGroup_ = -1;
        OwnEventLedger::shared().setBorrowedFrom(-1);
    }
    for (auto it = remapped_.begin(); it != remapped_.end(); ++it) {
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(dpy_, it.key(), 1, &none, 1);
    }
    remapped_.clear();
    XFlush(dpy_);
}

}  // namespace murmelo::linuxdesktop
