#pragma once
#include "platform/KeyEventPoster.h"

#include <functional>
#include <map>
#include <vector>

namespace murmelo::sim {

class SimDesktop;
class SimPasteboard;

// Synthetic keys on the simulated desktop. Every posted event is recorded, reported to the
// observers (the way a global event source sees it), then delivered to the focused field:
// a key down with a Unicode string inserts it, Delete (51) deletes backward, Return (36) and
// Tab (48) without text insert a line end and a tab, Command-V makes the focused field read
// and paste the pasteboard's plain text, Command-C copies the selection, Command-A selects
// all, Left and Right Arrow move by one character (with Shift: extend the selection; with
// Option-Shift-Left: to the start of the word before it), Home and End go to the line's ends
// (with Shift: select to there).
class SimKeyPoster : public KeyEventPoster {
public:
    SimKeyPoster(SimDesktop& desktop, SimPasteboard& pasteboard) : desktop_(desktop), pasteboard_(pasteboard) {}

    bool post(const KeyEvent& event) override;
    // The front application's id among terminalApps: a terminal (with clipboard keys or not).
    FrontEditing frontEditing() override;
    // After the events on their way have reached the observers (at once when none is).
    void afterLanding(std::function<void()> landed) override;
    // How long a posted event takes to reach the observers and the focused application after
    // the one before it, as with a busy application (0: at once, inside post).
    void setLandingDelay(double seconds) { landingDelay_ = seconds; }
    std::map<QString, FrontEditing> terminalApps;

    const std::vector<KeyEvent>& posted() const { return posted_; }
    void clearPosted() { posted_.clear(); }
    // Observers see each event before the focused application does.
    int addObserver(std::function<void(const KeyEvent&)> observer);
    void removeObserver(int id);
    // How long the focused application takes from Command-V to reading the pasteboard
    // (0: at once, inside post).
    void setPasteReadDelay(double seconds) { pasteReadDelay_ = seconds; }
    // A global event tap in front of the focused application: answering false swallows
    // the event before the field sees it.
    std::function<bool(const KeyEvent&)> tap;

private:
    void land(const KeyEvent& event);
    void deliver(const KeyEvent& event);

    SimDesktop& desktop_;
    SimPasteboard& pasteboard_;
    std::vector<KeyEvent> posted_;
    std::map<int, std::function<void(const KeyEvent&)>> observers_;
    int nextObserver_ = 1;
    double pasteReadDelay_ = 0.0;
    double landingDelay_ = 0.0;
    int onTheWay_ = 0;
    double nextLandingAt_ = 0.0;
    std::vector<std::pair<int, std::function<void()>>> landing_;  // events still to land -> who waits
};

}  // namespace murmelo::sim
