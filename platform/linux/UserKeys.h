#pragma once
#include <QtGlobal>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

namespace murmelo::linuxdesktop {

// The user's own keys as the key stream last saw them: which are held down, and the key
// downs (and clicks) in the order they reached the server. The stream's thread writes it the
// moment it reads an event, ahead of the main thread, which is still answering older ones:
// so the poster can tell which keys are held right now, and the tap which of the user's keys
// already landed in the application after the key it is answering.
class UserKeys {
public:
    static UserKeys& shared();

    // What reached the application with one of the user's key downs or clicks.
    struct Landed {
        quint64 seq = 0;
        // A character at the caret that one BackSpace takes back; anything else (a Return,
        // a BackSpace, an arrow, a shortcut, a click) changed the field in a way no key of
        // ours undoes.
        bool erasable = false;
    };

    // A key down of the user's; returns its number in the order of the user's key downs. A
    // modifier key changes nothing in the field by itself: it is held, but does not land.
    quint64 press(int xKeycode, bool modifier, bool erasable);
    void release(int xKeycode);
    // A click moves the caret: it counts among the landed events, never as erasable.
    quint64 click();
    void clear();

    bool isHeld(int xKeycode) const;
    // A modifier key of the user's is down: keys we type now would be shortcuts or capitals.
    bool modifierHeld() const;
    bool anyHeld() const;
    // The user's key downs and clicks numbered after seq, oldest first.
    std::vector<Landed> landedAfter(quint64 seq) const;
    // The number of the user's latest key down or click.
    quint64 latest() const;
    // Whether something no BackSpace takes back (a Return, a click, a shortcut) landed
    // after seq: keys of ours meant for before it would now land in the wrong place.
    bool fixedAfter(quint64 seq) const;

    // How many of the latest landed events are kept; older ones are long answered.
    static constexpr size_t KEPT = 64;

private:
    mutable std::mutex mutex_;
    std::set<int> held_;
    std::set<int> heldModifiers_;
    std::deque<Landed> landed_;
    quint64 seq_ = 0;
};

}  // namespace murmelo::linuxdesktop
