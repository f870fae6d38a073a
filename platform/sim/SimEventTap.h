#pragma once
#include "platform/EventTap.h"
#include "platform/KeyEventPoster.h"

#include <utility>
#include <vector>

namespace murmelo::sim {

class SimDesktop;
class SimKeyPoster;
class SimModifierFlags;

// The global event stream of the simulated desktop. Tests type physical keys with
// deliver(); keys posted through the simulated key poster come through marked, as the
// program's own. The tap's answer is honoured: a swallowed key down never reaches the
// focused field. While the tap is off, events go straight to the field.
class SimEventTap : public EventTap {
public:
    explicit SimEventTap(SimDesktop& desktop) : desktop_(desktop) {}
    ~SimEventTap() override;

    bool create(Callback callback) override;
    bool exists() const override { return bool(callback_); }
    bool isEnabled() const override { return exists() && enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }

    // Records the chord; refused when another program holds it (heldByOthers).
    bool grabChord(int virtualKey, quint64 flags) override;
    void ungrabChord(int virtualKey, quint64 flags) override;

    // Puts the tap in front of the key poster's deliveries.
    void attach(SimKeyPoster& poster);

    // A physical event; true when it reached the application.
    bool deliver(const InputEvent& event);
    // Key down and up with the characters the key produces.
    bool keyDown(qint64 keyCode, const QString& chars = {}, quint64 flags = 0);
    bool keyUp(qint64 keyCode, quint64 flags = 0);
    bool flagsChanged(qint64 keyCode, quint64 flags);
    // The system switches the tap off and tells its callback.
    void disableByTimeout();
    void disableByUserInput();

    // The session's modifier state follows the modifier changes delivered here.
    SimModifierFlags* session = nullptr;
    // Creation fails while this is set (no permission).
    bool refuseCreation = false;
    int creations = 0;
    using Chord = std::pair<int, quint64>;
    std::vector<Chord> grabbed;       // the chords the program owns, in the order named
    std::vector<Chord> heldByOthers;  // grabChord refuses these

private:
    bool pass(const InputEvent& event);

    SimDesktop& desktop_;
    SimKeyPoster* poster_ = nullptr;
    Callback callback_;
    bool enabled_ = false;
};

// The event a posted key becomes in the global stream.
InputEvent inputEventFor(const KeyEvent& key, qint64 ownPid);

}  // namespace murmelo::sim
