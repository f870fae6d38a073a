#include "linux/XiEventTap.h"

#include "linux/DesktopContext.h"
#include "linux/KeyTable.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace murmelo::linuxdesktop {
namespace {

constexpr int kVirtualBackSpace = 51;

}  // namespace

qint64 ClickCounter::down(double uptime, QPointF at) {
    const QPointF d = at - lastPoint_;
    const bool continues = uptime - lastAt_ <= INTERVAL && std::abs(d.x()) <= SLOP && std::abs(d.y()) <= SLOP;
    count_ = continues ? count_ + 1 : 1;
    lastAt_ = uptime;
    lastPoint_ = at;
    return count_;
}

XiEventTap::~XiEventTap() = default;

bool XiEventTap::create(Callback callback) {
    stream_.reset();
    callback_ = std::move(callback);
    stream_ = std::make_unique<XiEventStream>([this](const StreamEvent& e) { deliver(e); });
    if (!stream_->isRunning()) {
        stream_.reset();
        return false;
    }
    for (auto [kc, mods] : grabs_) stream_->grabKey(kc, mods);
    enabled_ = true;
    return true;
}

bool XiEventTap::grabChord(int virtualKey, quint64 flags) {
    const auto kc = KeyTable::xKeycode(virtualKey);
    if (!kc) return false;
    const std::pair<int, unsigned> grab{*kc, KeyTable::xStateFromFlags(flags & ~KeyTable::FLAG_CAPS_LOCK)};
    if (std::find(grabs_.begin(), grabs_.end(), grab) == grabs_.end()) grabs_.push_back(grab);
    return stream_ && stream_->grabKey(grab.first, grab.second);
}

void XiEventTap::ungrabChord(int virtualKey, quint64 flags) {
    const auto kc = KeyTable::xKeycode(virtualKey);
    if (!kc) return;
    const std::pair<int, unsigned> grab{*kc, KeyTable::xStateFromFlags(flags & ~KeyTable::FLAG_CAPS_LOCK)};
    const auto it = std::find(grabs_.begin(), grabs_.end(), grab);
    if (it == grabs_.end()) return;
    grabs_.erase(it);
    if (stream_) stream_->ungrabKey(grab.first, grab.second);
}

std::optional<InputEvent> XiEventTap::translate(const StreamEvent& e, qint64 ownPid) {
    InputEvent out;
    using K = StreamEvent::Kind;
    switch (e.kind) {
    case K::KeyDown: out.type = InputEventType::keyDown; break;
    case K::KeyUp: out.type = InputEventType::keyUp; break;
    case K::FlagsChanged: out.type = InputEventType::flagsChanged; break;
    case K::Scroll: out.type = InputEventType::scrollWheel; break;
    case K::MouseDown:
        out.type = e.xKeycode == 1   ? InputEventType::leftMouseDown
                   : e.xKeycode == 3 ? InputEventType::rightMouseDown
                                     : InputEventType::otherMouseDown;
        break;
    case K::MouseUp:
        if (e.xKeycode != 1) return std::nullopt;
        out.type = InputEventType::leftMouseUp;
        break;
    }
    const bool isKey = e.kind == K::KeyDown || e.kind == K::KeyUp || e.kind == K::FlagsChanged;
    out.keyCode = isKey ? e.keyCode : 0;
    out.flags = e.flags;
    out.userData = e.own ? e.userData : 0;
    out.sourcePID = e.own ? ownPid : 0;
    if (e.kind == K::KeyDown) out.unicode = e.text;
    out.autorepeat = e.repeat;
    if (!isKey) out.location = QPointF(e.x, e.y);
    out.timestamp = static_cast<quint64>(Clock::shared().uptime() * 1e9);
    return out;
}

namespace {

constexpr quint64 kShortcut = KeyTable::FLAG_COMMAND | KeyTable::FLAG_OPTION | KeyTable::FLAG_CONTROL;

bool usersPlainKeyDown(const StreamEvent& e) {
    return e.kind == StreamEvent::Kind::KeyDown && !e.own && !(e.flags & kShortcut);
}

bool isLineEndOrTab(const QString& text) { return text == QLatin1String("\r") || text == QLatin1String("\t"); }

}  // namespace

bool XiEventTap::needsErasing(const StreamEvent& e) {
    return usersPlainKeyDown(e) && !e.text.isEmpty() && !isLineEndOrTab(e.text);
}

bool XiEventTap::cannotBeTakenBack(const StreamEvent& e) {
    if (usersPlainKeyDown(e)) return isLineEndOrTab(e.text);
    // The application's own undo has run on Command-Z (Ctrl+Z); with Option it is the
    // grabbed revert chord, which the application never saw.
    constexpr int kVirtualZ = 6;
    return e.kind == StreamEvent::Kind::KeyDown && !e.own && e.keyCode == kVirtualZ &&
           (e.flags & KeyTable::FLAG_COMMAND) && !(e.flags & KeyTable::FLAG_OPTION);
}

void XiEventTap::deliver(const StreamEvent& e) {
    if (e.contextChanged) DesktopContext::catchUp();
    // Our own erasing keys and replays are no event of the session's as far as the core knows.
    if (e.own && (e.userData == ERASE_MARK || e.userData == REPLAY_MARK)) return;
    // Whatever the core answers: the user's key changes may free keys of ours held back. The
    // keys of one answer go out together, with nothing of the user's among them.
    struct Notify {
        OrderedPoster* poster;
        OrderedPoster* batch;
        quint64 answered;
        ~Notify() {
            if (answered) UserKeys::shared().answered(answered);
            if (poster) poster->userKeysChanged();
            if (batch) batch->endBatch();
        }
    } notify{e.own ? nullptr : ordered_, ordered_, e.own ? 0 : e.seq};
    if (ordered_) ordered_->beginBatch();
    if (!enabled_ || !callback_) return;
    // Only our own events carry our process id: no system call for the user's keys.
    auto event = translate(e, e.own ? QCoreApplication::applicationPid() : 0);
    if (!event) return;
    if (event->type == InputEventType::leftMouseDown) event->clickState = clicks_.down(Clock::shared().uptime(), event->location);
    else if (event->type == InputEventType::leftMouseUp) event->clickState = std::max<qint64>(clicks_.current(), 1);
    else if (e.kind == StreamEvent::Kind::MouseDown) event->clickState = 1;
    const auto answer = [&] { return callback_(*event); };
    if (needsErasing(e)) answerInOrder(e, answer, ordered_, UserKeys::shared(), erasedAhead_);
    else if (alreadyErased(e)) answerCompensating(Compensation::eraseLess, answer);
    else if (cannotBeTakenBack(e)) answerCompensating(Compensation::dropReaction, answer);
    else answer();
}

bool XiEventTap::alreadyErased(const StreamEvent& e) { return usersPlainKeyDown(e) && e.keyCode == kVirtualBackSpace; }

namespace {

// Keeps what the core posts while it decides on a key, in order. Who waits for the landing
// of those posts is handed on after them (`handOn`), whatever becomes of them.
class HeldPosts : public KeyEventPoster {
public:
    explicit HeldPosts(KeyEventPoster& real) : real_(real) {}
    ~HeldPosts() override { handOn(); }
    FrontEditing frontEditing() override { return real_.frontEditing(); }
    bool post(const KeyEvent& event) override {
        held.push_back(event);
        return true;
    }
    void afterLanding(std::function<void()> landed) override { landing_.push_back(std::move(landed)); }
    void handOn() {
        for (auto& landed : landing_) real_.afterLanding(std::move(landed));
        landing_.clear();
    }
    std::vector<KeyEvent> held;

private:
    KeyEventPoster& real_;
    std::vector<std::function<void()>> landing_;
};

}  // namespace

bool XiEventTap::answerCompensating(Compensation compensation, const std::function<bool()>& answer) {
    HeldPosts hold(KeyEventPoster::shared());
    bool pass = true;
    {
        ScopedService<KeyEventPoster> holding(hold);
        pass = answer();
    }
    std::vector<KeyEvent>& held = hold.held;
    KeyEventPoster& poster = KeyEventPoster::shared();
    if (!pass && compensation == Compensation::erase) {
        poster.post({kVirtualBackSpace, true, 0, {}, ERASE_MARK});
        poster.post({kVirtualBackSpace, false, 0, {}, ERASE_MARK});
    }
    if (!pass && compensation == Compensation::eraseLess) {
        const auto isBackSpace = [](const KeyEvent& k, bool down) {
            return k.keyCode == kVirtualBackSpace && k.keyDown == down && k.unicode.isEmpty() && k.flags == 0;
        };
        const auto down = std::find_if(held.begin(), held.end(), [&](const KeyEvent& k) { return isBackSpace(k, true); });
        if (down != held.end()) {
            const auto up = std::find_if(down + 1, held.end(), [&](const KeyEvent& k) { return isBackSpace(k, false); });
            if (up != held.end()) held.erase(up);
            held.erase(down);
        }
    }
    if (!pass && compensation == Compensation::dropReaction) {
        if (!held.empty())
            qWarning("XInput: a Return, Tab or Ctrl+Z the core held back had already reached the application; "
                     "the %d keys posted in answer are dropped", int(held.size()));
        return pass;
    }
    for (const KeyEvent& k : held) poster.post(k);
    hold.handOn();
    return pass;
}

bool XiEventTap::answerInOrder(const StreamEvent& e, const std::function<bool()>& answer, OrderedPoster* ordered,
                               const UserKeys& user, std::set<quint64>& erasedAhead) {
    HeldPosts hold(KeyEventPoster::shared());
    bool pass = true;
    {
        ScopedService<KeyEventPoster> holding(hold);
        pass = answer();
    }
    KeyEventPoster& poster = KeyEventPoster::shared();
    const bool gone = erasedAhead.erase(e.seq) > 0;
    const bool waiting = ordered && ordered->waiting() > 0;
    const bool reacts = !pass || !hold.held.empty() || waiting;
    const KeyEvent replay{0, true, 0, e.text, REPLAY_MARK};
    if (!reacts) {
        // Erased for an answer before it: its place is after that answer.
        if (gone) poster.post(replay);
        return pass;
    }
    int erase = 0;
    std::vector<quint64> ahead;
    for (const UserKeys::Landed& l : user.landedAfter(e.seq)) {
        if (erasedAhead.count(l.seq)) continue;
        if (!l.erasable) {
            qWarning("XInput: a Return, click or shortcut of the user's reached the application after the key being "
                     "answered; the %d keys posted in answer are dropped",
                     int(hold.held.size()));
            if (gone) poster.post(replay);
            return pass;
        }
        ahead.push_back(l.seq);
    }
    for (quint64 seq : ahead) erasedAhead.insert(seq);
    // Keys whose answer never came (the tap was switched off) are not kept for ever.
    while (erasedAhead.size() > UserKeys::KEPT) erasedAhead.erase(erasedAhead.begin());
    erase += int(ahead.size());
    // The key itself: swallowed, or in the way of text of ours still waiting.
    if (!gone && (!pass || waiting)) ++erase;
    for (int i = 0; i < erase; ++i)
        for (const bool down : {true, false}) {
            const KeyEvent bs{kVirtualBackSpace, down, 0, {}, ERASE_MARK};
            if (ordered) ordered->postAhead(bs);
            else poster.post(bs);
        }
    if (pass && (gone || waiting)) poster.post(replay);
    for (const KeyEvent& k : hold.held) poster.post(k);
    hold.handOn();
    return pass;
}

}  // namespace murmelo::linuxdesktop
