#pragma once
#include <QList>
#include <QString>
#include <optional>
#include <random>

// Xlib's Display, without its macros.
struct _XDisplay;

namespace murmelo::test {

// A key as a person presses it: its X key code, with Shift held or not. What it gives
// depends on the XKB group locked when it goes down.
struct PhysicalKey {
    unsigned keycode = 0;
    bool shift = false;
    bool operator==(const PhysicalKey&) const = default;
};

// One thing the person does, in order: press a key, or switch the layout themselves.
struct PersonStep {
    enum class Kind { key, lockGroup } kind = Kind::key;
    PhysicalKey key;
    int group = 0;
};

// A person typing on the real desktop, from an X client of its own through XTest: the
// program under test sees keys that are not in its ledger, the user's. The person presses
// physical keys with a person's timing: each key held 30-120 ms, 80-150 ms from one press to
// the next, and in a third of the pairs the next key goes down before the previous one is
// up. The timing is random from a seed, printed so that a failure can be replayed
// (MURMELO_PERSON_SEED). The pace is kept by the X server itself (XTest's delay), so a
// busy test process cannot bunch the keys up.
class PersonKeyboard {
public:
    // Opens its own connection to the display; the seed comes from MURMELO_PERSON_SEED or
    // is drawn.
    PersonKeyboard();
    ~PersonKeyboard();
    PersonKeyboard(const PersonKeyboard&) = delete;
    PersonKeyboard& operator=(const PersonKeyboard&) = delete;

    bool isOpen() const { return dpy_ != nullptr; }
    unsigned seed() const { return seed_; }
    // Starts the timing of one take (a phrase, a case) afresh from the seed and its number,
    // so that a take replays alone just as it ran among the others.
    void beginTake(unsigned take) { rng_.seed(seed_ + take * 0x9E3779B9u); }

    static constexpr unsigned kReturn = 36, kBackSpace = 22, kRightShift = 62, kLeftShift = 50;
    static constexpr unsigned kSpace = 65;

    // The physical key that gives the character: in the preferred group's keys first, then
    // in the other group's. Only the main block of the keyboard, never the keypad.
    std::optional<PhysicalKey> keyFor(QChar c, int preferredGroup) const;
    // What the key gives with the group locked (empty when nothing).
    QString charOf(PhysicalKey key, int group) const;

    int lockedGroup() const;
    // The person's own switch of the layout; returns once the server has it.
    void lockGroup(int group);

    // Carries the steps out with a person's timing; returns once the server has processed
    // the last release.
    void perform(const QList<PersonStep>& steps);
    // One key, alone, with a person's hold.
    void tap(unsigned keycode);

private:
    int between(int lo, int hi);

    _XDisplay* dpy_ = nullptr;
    unsigned seed_ = 0;
    std::mt19937 rng_;
};

}  // namespace murmelo::test
