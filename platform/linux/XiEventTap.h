#pragma once
#include "linux/OrderedPoster.h"
#include "linux/UserKeys.h"
#include "linux/XiEventStream.h"
#include "platform/EventTap.h"

#include <QPointF>
#include <optional>
#include <set>
#include <vector>

namespace murmelo::linuxdesktop {

// The event tap of an X11 desktop, over the XInput 2 stream. X11 lets a client observe
// every key but not hold it back: by the time the callback answers, the focused window has
// the key. So a swallowed key down that typed a character (no Command, Option or Control
// held) is erased with a BackSpace of our own, sent before anything the core posts or
// queues in reaction (answerCompensating); the tap keeps that BackSpace to itself. A
// swallowed BackSpace has already erased a character, so the core's erase that follows it
// (the undo of a correction) is made one shorter; a swallowed Return, Tab or Command-Z
// cannot be taken back, so the keys the core posts in answer (a correction at the line's
// end, an undo on top of the application's own) are dropped. Chords the
// program owns are grabbed (grabChord) so that they never reach the focused window at all.
// Events we posted come with the user data our poster gave them; everyone else's with 0
// and no source process, as hardware events do.
// Counts the clicks of a multiple click: a left button press soon after the last one and
// near it continues the count, anything else starts at one.
class ClickCounter {
public:
    qint64 down(double uptime, QPointF at);
    qint64 current() const { return count_; }

    static constexpr double INTERVAL = 0.4;  // seconds, the desktop's usual double-click time
    static constexpr double SLOP = 4;        // pixels

private:
    qint64 count_ = 0;
    double lastAt_ = -1e9;
    QPointF lastPoint_;
};

class XiEventTap : public EventTap {
public:
    XiEventTap() = default;
    ~XiEventTap() override;

    bool create(Callback callback) override;
    bool exists() const override { return stream_ && stream_->isRunning(); }
    bool isEnabled() const override { return exists() && enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }

    // A passive grab: the chord goes to the program alone and is still reported to the
    // callback. Kept across create(). False when the grab is not in force: no stream yet, or
    // the server refused it (another program holds the chord).
    bool grabChord(int virtualKey, quint64 flags) override;
    void ungrabChord(int virtualKey, quint64 flags) override;

    // Runs fn on the main thread once every event the server sent before this call has been
    // through the tap (reported or, while disabled, dropped). Nothing runs without a stream.
    void afterPendingEvents(std::function<void()> fn) {
        if (stream_) stream_->afterPendingEvents(std::move(fn));
    }

    // The key stream's fence (XiEventStream::fenceTarget, waitForFence); false without one.
    bool fenceTarget(unsigned long& window, unsigned long& messageType) const {
        return stream_ && stream_->fenceTarget(window, messageType);
    }
    bool waitForFence(quint64 mark, double timeout) { return stream_ && stream_->waitForFence(mark, timeout); }

    // The poster that holds keys back while the user holds one (the application's XTest
    // poster); without one, posts are taken to go out at once.
    void setOrderedPoster(OrderedPoster* poster) { ordered_ = poster; }
    // The user data of the BackSpace that erases a swallowed key.
    static constexpr qint64 ERASE_MARK = 0x4D524531;
    // The user data of a user's key typed again by us: it had to make way for our text.
    static constexpr qint64 REPLAY_MARK = 0x4D524532;

    // The stream's event in the core's terms; nothing for events the core has no type for
    // (release of a button other than the left one).
    static std::optional<InputEvent> translate(const StreamEvent& event, qint64 ownPid);
    // Whether a swallowed event must be erased: the user's key down that typed something
    // with no shortcut modifier held.
    static bool needsErasing(const StreamEvent& event);
    // Whether a swallowed event already erased a character in the application: the user's
    // BackSpace with no shortcut modifier held.
    static bool alreadyErased(const StreamEvent& event);
    // Whether a swallowed event did something no key of ours takes back: the user's Return
    // (a line edit acts on it, a chat sends), Tab (the focus moves on) or Command-Z (the
    // application's own undo ran).
    static bool cannotBeTakenBack(const StreamEvent& event);

    // What a swallowed key that reached the application anyway needs from the tap.
    enum class Compensation {
        erase,       // it typed a character: erase it before anything the core posts
        eraseLess,   // it erased one: the core's own erase is one BackSpace shorter
        dropReaction,  // its effect stays: what the core types in answer would land elsewhere
    };
    // Asks for the answer on such a key. The core may react inside its answer by posting
    // keys (erase the word, retype it, type the boundary); those are held back until the
    // answer is known, and a swallowed key is compensated for before they go out. Answers
    // what the callback answered.
    static bool answerCompensating(Compensation compensation, const std::function<bool()>& answer);
    // The answer on the user's key that typed a character (needsErasing), kept in the order
    // the user typed. Keys of the user that landed after it (the main thread answers late,
    // or our text waits for the user to let go of a key) would otherwise sit before our
    // answer: they are erased first and typed again when their own answer comes, and the
    // key itself, when it landed before text of ours still waiting, makes way the same way.
    // A Return, click or shortcut that landed after it drops the answer (it would land in
    // the wrong place). erasedAhead holds the keys already erased, by their number.
    static bool answerInOrder(const StreamEvent& event, const std::function<bool()>& answer, OrderedPoster* ordered,
                              const UserKeys& user, std::set<quint64>& erasedAhead);

private:
    void deliver(const StreamEvent& event);

    std::unique_ptr<XiEventStream> stream_;
    Callback callback_;
    bool enabled_ = false;
    std::vector<std::pair<int, unsigned>> grabs_;  // X key code, X modifier state
    ClickCounter clicks_;
    OrderedPoster* ordered_ = nullptr;
    std::set<quint64> erasedAhead_;
};

}  // namespace murmelo::linuxdesktop
