#include "PersonKeyboard.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <xkbcommon/xkbcommon.h>

namespace murmelo::test {
namespace {

// The main block of a PC keyboard: the digit row, the letters and their punctuation, and
// the space bar. Keypad keys give some of the same characters; a person types with these.
constexpr unsigned kFirstMainKey = 10, kLastMainKey = 61;

struct Timed {
    int at = 0;  // ms from the start
    enum class Kind { press, release, lock } kind = Kind::press;
    unsigned keycode = 0;
    int group = 0;
};

}  // namespace

PersonKeyboard::PersonKeyboard() {
    const QByteArray fixed = qgetenv("MURMELO_PERSON_SEED");
    seed_ = fixed.isEmpty() ? std::random_device{}() : fixed.toUInt();
    rng_.seed(seed_);
    std::fprintf(stderr, "person: seed %u (MURMELO_PERSON_SEED=%u replays this typing)\n", seed_, seed_);
    dpy_ = XkbOpenDisplay(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

PersonKeyboard::~PersonKeyboard() {
    if (dpy_) XCloseDisplay(dpy_);
}

int PersonKeyboard::between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, std::max(lo, hi))(rng_); }

QString PersonKeyboard::charOf(PhysicalKey key, int group) const {
    if (!dpy_) return {};
    const KeySym sym = XkbKeycodeToKeysym(dpy_, KeyCode(key.keycode), group, key.shift ? 1 : 0);
    const uint32_t cp = sym == NoSymbol ? 0 : xkb_keysym_to_utf32(xkb_keysym_t(sym));
    return cp ? QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1) : QString();
}

std::optional<PhysicalKey> PersonKeyboard::keyFor(QChar c, int preferredGroup) const {
    if (c == QLatin1Char(' ')) return PhysicalKey{kSpace, false};
    for (int group : {preferredGroup, 1 - preferredGroup}) {
        for (bool shift : {false, true}) {
            for (unsigned kc = kFirstMainKey; kc <= kLastMainKey; ++kc) {
                if (charOf({kc, shift}, group) == QString(c)) return PhysicalKey{kc, shift};
            }
        }
    }
    return std::nullopt;
}

int PersonKeyboard::lockedGroup() const {
    XkbStateRec st{};
    if (!dpy_ || XkbGetState(dpy_, XkbUseCoreKbd, &st) != Success) return -1;
    return st.locked_group;
}

void PersonKeyboard::lockGroup(int group) {
    if (!dpy_) return;
    XkbLockGroup(dpy_, XkbUseCoreKbd, unsigned(group));
    XSync(dpy_, False);
}

void PersonKeyboard::perform(const QList<PersonStep>& steps) {
    if (!dpy_) return;
    std::vector<Timed> events;
    int t = 0;            // when the next key goes down
    int lastUp = 0;       // when the last key pressed comes up
    bool shiftDown = false;
    int shiftSince = 0;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const PersonStep& s = steps[i];
        if (s.kind == PersonStep::Kind::lockGroup) {
            // A person switches with every key up, and takes a moment over it.
            if (shiftDown) {
                events.push_back({lastUp + between(10, 30), Timed::Kind::release, kLeftShift});
                shiftDown = false;
            }
            const int at = std::max(t, lastUp + between(40, 80));
            events.push_back({at, Timed::Kind::lock, 0, s.group});
            t = at + between(80, 150);
            continue;
        }
        int down = t;
        if (s.key.shift && !shiftDown) {
            down = std::max(t, lastUp + 10);
            events.push_back({down, Timed::Kind::press, kLeftShift});
            shiftDown = true;
            shiftSince = down;
            down += between(30, 60);
        } else if (!s.key.shift && shiftDown) {
            const int up = std::max(lastUp, shiftSince) + between(10, 30);
            events.push_back({up, Timed::Kind::release, kLeftShift});
            shiftDown = false;
            down = std::max(t, up + between(10, 30));
        }
        // The pair with the next key: apart, or overlapping (the next key down first).
        const PersonStep* next = i + 1 < steps.size() ? &steps[i + 1] : nullptr;
        const bool canOverlap = next && next->kind == PersonStep::Kind::key &&
                                next->key.keycode != s.key.keycode && next->key.shift == s.key.shift;
        int gap, hold;
        if (canOverlap && between(0, 2) == 0) {
            gap = between(80, 105);
            hold = between(gap + 10, 120);
        } else {
            gap = between(80, 150);
            hold = between(30, std::min(120, gap - 10));
        }
        events.push_back({down, Timed::Kind::press, s.key.keycode});
        events.push_back({down + hold, Timed::Kind::release, s.key.keycode});
        lastUp = std::max(lastUp, down + hold);
        t = down + gap;
    }
    if (shiftDown) events.push_back({lastUp + between(10, 30), Timed::Kind::release, kLeftShift});
    std::stable_sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) { return a.at < b.at; });
    int now = 0;
    for (const Timed& e : events) {
        if (e.kind == Timed::Kind::lock) {
            // Right after the key event before it (XTest's delay holds only key events); the
            // time the person takes over the switch falls on the key after it.
            XkbLockGroup(dpy_, XkbUseCoreKbd, unsigned(e.group));
            continue;
        }
        // XTest's delay puts this connection to sleep in the server until the key's moment.
        const unsigned long delay = static_cast<unsigned long>(std::max(0, e.at - now));
        now = std::max(now, e.at);
        XTestFakeKeyEvent(dpy_, e.keycode, e.kind == Timed::Kind::press, delay);
    }
    XSync(dpy_, False);
}

void PersonKeyboard::tap(unsigned keycode) { perform({PersonStep{PersonStep::Kind::key, {keycode, false}, 0}}); }

}  // namespace murmelo::test
