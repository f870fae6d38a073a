#pragma once
#include "linux/OrderedPoster.h"
#include "linux/XkbKeymap.h"
#include "platform/KeyEventPoster.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <memory>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo::linuxdesktop {

// Synthetic keys through XTest, on the main thread with an X connection of its own.
// Every key sent is written into the own-event ledger with the event's user data.
// - A key event without text presses the key of its virtual key code; modifier flags that
//   our own posted modifier keys do not already hold are pressed around a key down.
// - A key down with text types the text: each character on a key of the current layout
//   group; else on a key of another group, which is locked for as long as the run of such
//   characters lasts and unlocked at the next turn of the event loop (both locks are
//   written into the ledger: they are no choice of the user's); else, for characters
//   no group has, on spare key codes given those characters in one remap and unmapped
//   again at the next turn. The key up of such an event sends nothing: the text was
//   pressed and released with its key down.
// - A shortcut some applications take differently (Command-V in a terminal) is adjusted
//   for the application in front; see AppKeyExceptions.
// - Never on a key the user holds down: X keeps one state per key, so our press of a held
//   key is lost in the application and our release ends the user's press. Nor while the
//   user holds a modifier (our letters would become capitals or shortcuts). Such an event
//   waits, and every event after it with it, in order, until the user lets go (at most
//   HELD_WAIT seconds), and until the keys the user typed meanwhile have been answered; see
//   UserKeys. A space is the exception: a spare key code kept
//   giving a space stands in for the user's space key, so the boundary a correction types
//   back never waits for the space the user still holds (a Return would overtake it). Posts
//   still waiting when a Return, click or shortcut of the user's lands would land after it,
//   in the wrong place: they are dropped, and only the user's own keys typed again go out.
class XTestKeyPoster : public QObject, public KeyEventPoster, public OrderedPoster {
public:
    explicit XTestKeyPoster(const QString& displayName = {});
    ~XTestKeyPoster() override;
    bool isConnected() const { return dpy_ != nullptr; }

    bool post(const KeyEvent& event) override;

    // OrderedPoster: what the tap needs to keep the user's keys and ours in order.
    bool postAhead(const KeyEvent& event) override;
    int waiting() const override { return int(waiting_.size()); }
    void userKeysChanged() override { resume(false); }
    void beginBatch() override;
    void endBatch() override;

    // Whether a space goes out at once while the user holds their space key: the second
    // space key is mapped and clients have had the time to read the map.
    bool spaceTwinReady() const;

    // The longest a post waits for the user to let go of a key before it goes out anyway.
    static constexpr double HELD_WAIT = 1.0;

    // The ids of the application in front (application id, window class names), asked
    // only for a shortcut that may differ. Without one, the installed Workspace's front
    // application id.
    void setFrontApplicationIds(std::function<QStringList()> ids) { frontIds_ = std::move(ids); }
    // Puts the clipboard's text into the PRIMARY selection, for a paste into a terminal that
    // only pastes that (Shift+Insert); false when there was nothing to put.
    void setPrimaryMirror(std::function<bool()> mirror) { primaryMirror_ = std::move(mirror); }

    FrontEditing frontEditing() override;
    // When the event stream has seen our last key (the own-event ledger claimed it); posts
    // still waiting for a held key go out first.
    void afterLanding(std::function<void()> landed) override;

    // Server-side pause (XTest's delay: the server holds our later requests too) before a
    // key on a freshly remapped key code, so that clients have re-read the mapping first.
    // Qt clients on Xvfb missed keys at 25 ms when idle and at 60 ms under load.
    static constexpr unsigned long REMAP_SETTLE_MS = 150;

private:
    bool send(const KeyEvent& event);
    bool blocked(const KeyEvent& event);
    std::vector<int> keycodesOf(const KeyEvent& event);
    void resume(bool anyway);
    struct Place {
        int keycode = 0;
        int group = 0;
        bool shift = false;
    };
    std::optional<Place> placeOf(char32_t c, int group);
    void mapSpaceTwin();
    bool typeText(const QString& text, qint64 userData);
    bool sendKey(int keycode, bool press, qint64 userData, unsigned long delayMs = 0);
    int currentGroup();
    QStringList frontIds() const;
    int keycodeForKeysym(unsigned long keysym) const;
    int spareKeycodeFor(unsigned long keysym);
    void scheduleRestore();
    void restore();
    void watchLanding(std::function<void()> landed);
    void checkLanding();

    Display* dpy_ = nullptr;
    XkbKeymap keymap_;
    quint64 heldFlags_ = 0;        // modifiers our own posted modifier keys hold down
    int userGroup_ = -1;           // the group to return to after a locked run, -1 none
    int lockedGroup_ = -1;         // the group the last run left locked, while one is borrowed
    QHash<int, unsigned long> remapped_;  // spare key code -> keysym given to it
    bool restoreScheduled_ = false;
    std::function<QStringList()> frontIds_;
    std::function<bool()> primaryMirror_;
    bool clipboardKeyInTerminal(const KeyEvent& event, bool& ok);
    void refreshKeymap();
    unsigned long keymapSeen_ = 0;  // the server change count the copy of the map was read at
    std::deque<KeyEvent> waiting_;  // posts held back behind a key the user holds
    quint64 waitingSince_ = 0;      // the user's latest key when the first of them was held back
    int batch_ = 0;                 // open batches: sent keys are written out when the last closes
    bool restoreAfterBatch_ = false;  // the group and spare keys come back once it is written out
    bool batchSent_ = false;        // keys of the open batch are waiting to be written out
    unsigned long batchRequest_ = 0;  // the connection's next request when the batch opened
    int batchGroup_ = -1;           // the group inside the batch, once asked (asking writes out)
    int spaceTwin_ = 0;             // a spare key code kept giving a space, 0 none
    double spaceTwinReadyAt_ = 0;   // uptime from which clients have read its mapping
    QTimer heldTimer_;
    std::vector<std::function<void()>> afterWaiting_;  // landings asked while posts wait
    std::vector<std::pair<quint64, std::function<void()>>> landing_;  // ledger number -> who waits
    std::shared_ptr<std::atomic<bool>> landingWatched_;  // the ledger's claims are of interest
    QTimer landingTimer_;  // the most a landing is waited for: an event that never shows
};

}  // namespace murmelo::linuxdesktop
