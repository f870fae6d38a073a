#include "linux/XiEventTap.h"

#include "DesktopHarness.h"
#include "linux/KeyTable.h"
#include "linux/UserKeys.h"
#include "linux/X11Workspace.h"
#include "linux/XTestKeyPoster.h"
#include "linux/XkbInputSources.h"
#include "platform/Service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>
#include <thread>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr qint64 MARK = 0x54514D31;
constexpr quint64 CMD = KeyTable::FLAG_COMMAND;
constexpr quint64 SHIFT = KeyTable::FLAG_SHIFT;

StreamEvent key(StreamEvent::Kind kind, int keyCode, quint64 flags, QString text = {}, bool own = false) {
    StreamEvent e;
    e.kind = kind;
    e.keyCode = keyCode;
    e.flags = flags;
    e.text = std::move(text);
    e.own = own;
    e.userData = own ? MARK : 0;
    return e;
}

StreamEvent button(StreamEvent::Kind kind, int number) {
    StreamEvent e;
    e.kind = kind;
    e.xKeycode = number;
    e.x = 120;
    e.y = 45;
    return e;
}

}  // namespace

TEST(XiEventTap, StreamEventsBecomeTheCoresEvents) {
    using K = StreamEvent::Kind;
    struct Case {
        const char* what;
        StreamEvent in;
        std::optional<InputEventType> type;
    };
    const Case cases[] = {
        {"key down", key(K::KeyDown, 0, SHIFT, "A"), InputEventType::keyDown},
        {"key up", key(K::KeyUp, 0, 0), InputEventType::keyUp},
        {"modifier", key(K::FlagsChanged, 54, CMD), InputEventType::flagsChanged},
        {"left button", button(K::MouseDown, 1), InputEventType::leftMouseDown},
        {"left button up", button(K::MouseUp, 1), InputEventType::leftMouseUp},
        {"right button", button(K::MouseDown, 3), InputEventType::rightMouseDown},
        {"middle button", button(K::MouseDown, 2), InputEventType::otherMouseDown},
        {"back button", button(K::MouseDown, 8), InputEventType::otherMouseDown},
        {"right button up has no type", button(K::MouseUp, 3), std::nullopt},
        {"scroll", button(K::Scroll, 4), InputEventType::scrollWheel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = XiEventTap::translate(c.in, 4242);
        ASSERT_EQ(out.has_value(), c.type.has_value());
        if (!out) continue;
        EXPECT_EQ(out->type, *c.type);
        EXPECT_EQ(out->flags, c.in.flags);
    }
    const auto down = XiEventTap::translate(key(K::KeyDown, 0, SHIFT, "A"), 4242);
    EXPECT_EQ(down->keyCode, 0);
    EXPECT_EQ(down->unicode, "A");
    EXPECT_EQ(down->userData, 0);
    EXPECT_EQ(down->sourcePID, 0) << "the user's keys come from no process";
    const auto own = XiEventTap::translate(key(K::KeyDown, 11, CMD, "b", true), 4242);
    EXPECT_EQ(own->userData, MARK);
    EXPECT_EQ(own->sourcePID, 4242);
    const auto click = XiEventTap::translate(button(K::MouseDown, 1), 4242);
    EXPECT_EQ(click->location, QPointF(120, 45));
    EXPECT_EQ(click->keyCode, 0);
}

TEST(XiEventTap, OnlyTheUsersTypedKeysAreErasedWhenSwallowed) {
    using K = StreamEvent::Kind;
    struct Case {
        const char* what;
        StreamEvent in;
        bool erase;
    };
    const Case cases[] = {
        {"letter", key(K::KeyDown, 0, 0, "a"), true},
        {"shifted letter", key(K::KeyDown, 0, SHIFT, "A"), true},
        {"Cyrillic letter", key(K::KeyDown, 0, 0, QStringLiteral("ф")), true},
        {"Command chord types nothing", key(K::KeyDown, 0, CMD, "a"), false},
        {"Option chord", key(K::KeyDown, 0, KeyTable::FLAG_OPTION, "a"), false},
        {"Control chord", key(K::KeyDown, 0, KeyTable::FLAG_CONTROL, "a"), false},
        {"a key that types nothing", key(K::KeyDown, 123, 0), false},
        {"Return cannot be erased", key(K::KeyDown, 36, 0, "\r"), false},
        {"Tab cannot be erased", key(K::KeyDown, 48, 0, "\t"), false},
        {"key up", key(K::KeyUp, 0, 0, "a"), false},
        {"modifier", key(K::FlagsChanged, 54, CMD), false},
        {"our own key", key(K::KeyDown, 0, 0, "a", true), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(XiEventTap::needsErasing(c.in), c.erase);
    }
}

namespace {

struct RecordingPoster : KeyEventPoster {
    std::vector<KeyEvent> posted;
    std::vector<size_t> landingAsked;  // how many events were posted when each was asked
    FrontEditing frontEditing() override { return FrontEditing::editor; }
    void afterLanding(std::function<void()> landed) override {
        landingAsked.push_back(posted.size());
        landed();
    }
    bool post(const KeyEvent& e) override {
        posted.push_back(e);
        return true;
    }
    QStringList keys() const {
        QStringList out;
        for (const KeyEvent& e : posted)
            if (e.keyDown) out << (e.unicode.isEmpty() ? QString::number(e.keyCode) : e.unicode);
        return out;
    }
};

}  // namespace

// The user's space already reached the field when the core corrects the word before it:
// the space is erased before the word's erase and retype, whatever the core posts inside
// its answer; keys posted by an answer that passes the key go out after it unchanged.
TEST(XiEventTap, TheSwallowedKeysEraseGoesOutBeforeWhatTheCorePostsInItsAnswer) {
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    const auto correct = [] {
        KeyEventPoster& p = KeyEventPoster::shared();
        for (int i = 0; i < 2; ++i) p.post({51, true, 0, {}, MARK});
        p.post({0, true, 0, QStringLiteral("пр"), MARK});
        p.post({0, true, 0, QStringLiteral(" "), MARK});
        return false;
    };
    EXPECT_FALSE(XiEventTap::answerCompensating(XiEventTap::Compensation::erase, correct));
    EXPECT_EQ(poster.keys(), (QStringList{"51", "51", "51", QStringLiteral("пр"), " "}));
    EXPECT_EQ(poster.posted.front().userData, XiEventTap::ERASE_MARK);
    EXPECT_EQ(poster.posted[2].userData, MARK);

    poster.posted.clear();
    EXPECT_TRUE(XiEventTap::answerCompensating(XiEventTap::Compensation::erase, [] {
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral("x"), MARK});
        return true;
    }));
    EXPECT_EQ(poster.keys(), QStringList{"x"});
    EXPECT_EQ(&KeyEventPoster::shared(), &poster) << "the poster is back after the answer";
}

// The user's Backspace that undoes a correction already took the boundary the correction
// typed: the undo's erase of the correction and its boundary is one key shorter.
TEST(XiEventTap, ASwallowedBackspaceShortensTheCoresEraseByOne) {
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    const auto undo = [](bool swallow) {
        return [swallow] {
            KeyEventPoster& p = KeyEventPoster::shared();
            for (int i = 0; i < 3; ++i) {
                p.post({51, true, 0, {}, MARK});
                p.post({51, false, 0, {}, MARK});
            }
            p.post({0, true, 0, QStringLiteral("gh"), MARK});
            return !swallow;
        };
    };
    EXPECT_FALSE(XiEventTap::answerCompensating(XiEventTap::Compensation::eraseLess, undo(true)));
    EXPECT_EQ(poster.keys(), (QStringList{"51", "51", "gh"}));
    EXPECT_EQ(poster.posted.size(), 5u) << "each remaining BackSpace keeps its key up";

    poster.posted.clear();
    EXPECT_TRUE(XiEventTap::answerCompensating(XiEventTap::Compensation::eraseLess, undo(false)));
    EXPECT_EQ(poster.keys(), (QStringList{"51", "51", "51", "gh"})) << "a Backspace passed on took nothing";

    using K = StreamEvent::Kind;
    EXPECT_TRUE(XiEventTap::alreadyErased(key(K::KeyDown, 51, SHIFT)));
    EXPECT_FALSE(XiEventTap::alreadyErased(key(K::KeyDown, 51, CMD))) << "a word erase is no undo's business";
    EXPECT_FALSE(XiEventTap::alreadyErased(key(K::KeyDown, 51, 0, {}, true)));
    EXPECT_FALSE(XiEventTap::alreadyErased(key(K::KeyUp, 51, 0)));
}

// A Return the core holds back has already acted in the application (a line edit's Return,
// a chat's send): a correction typed in answer would land after it, so none is typed.
TEST(XiEventTap, KeysPostedInAnswerToASwallowedReturnAreDropped) {
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    test::LoggedWarnings warnings;
    const auto correct = [](bool swallow) {
        return [swallow] {
            KeyEventPoster::shared().post({51, true, 0, {}, MARK});
            KeyEventPoster::shared().post({0, true, 0, QStringLiteral("пр"), MARK});
            return !swallow;
        };
    };
    EXPECT_FALSE(XiEventTap::answerCompensating(XiEventTap::Compensation::dropReaction, correct(true)));
    EXPECT_TRUE(poster.posted.empty());
    EXPECT_TRUE(warnings.contains("the 2 keys posted in answer are dropped"));
    EXPECT_TRUE(XiEventTap::answerCompensating(XiEventTap::Compensation::dropReaction, correct(false)));
    EXPECT_EQ(poster.keys(), (QStringList{"51", QStringLiteral("пр")}));

    using K = StreamEvent::Kind;
    EXPECT_TRUE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 36, SHIFT, "\r")));
    EXPECT_TRUE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 48, 0, "\t")));
    EXPECT_FALSE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 36, CMD, "\r")));
    EXPECT_FALSE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 49, 0, " ")));
    EXPECT_FALSE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 36, 0, "\r", true)));
    EXPECT_TRUE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 6, CMD, "z"))) << "the application undid too";
    EXPECT_TRUE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 6, CMD | SHIFT, "Z")));
    EXPECT_FALSE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 6, CMD | KeyTable::FLAG_OPTION, "z")))
        << "the revert chord is grabbed";
    EXPECT_FALSE(XiEventTap::cannotBeTakenBack(key(K::KeyDown, 6, 0, "z")));
}

namespace {

// The application's poster as the tap sees it: posts held back while the test says so; what
// goes out lands in one record with what the tap posted ahead.
struct WaitingPoster : RecordingPoster, OrderedPoster {
    int held = 0;  // posts still held back
    bool postAhead(const KeyEvent& e) override { return RecordingPoster::post(e); }
    bool post(const KeyEvent& e) override {
        if (held > 0) {
            ++held;
            later.push_back(e);
            return true;
        }
        return RecordingPoster::post(e);
    }
    int waiting() const override { return held; }
    void userKeysChanged() override {}
    void beginBatch() override {}
    void endBatch() override {}
    std::vector<KeyEvent> later;
};

// The user's key in the stream: pressed, with its number among the user's key downs.
StreamEvent typed(UserKeys& user, int xKeycode, const QString& text) {
    StreamEvent e = key(StreamEvent::Kind::KeyDown, 0, 0, text);
    e.xKeycode = xKeycode;
    e.seq = user.press(xKeycode, false, true);
    return e;
}

// An answer that swallows the key and posts text, or passes it.
std::function<bool()> answerWith(const QString& text, bool swallow) {
    return [text, swallow] {
        if (!text.isEmpty()) KeyEventPoster::shared().post({0, true, 0, text, MARK});
        return !swallow;
    };
}

}  // namespace

// Our word waits for the user to let go of the key it needs; the user's next key has landed
// before it: that key makes way (erased now, ahead of everything waiting) and comes back
// after the word, whether the core passes it or answers it with a key of its own.
TEST(XiEventTap, AKeyThatLandsBeforeOurWaitingTextIsTypedAgainAfterIt) {
    UserKeys user;
    std::set<quint64> erased;
    WaitingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    poster.held = 1;

    const StreamEvent n = typed(user, 57, "n");
    EXPECT_TRUE(XiEventTap::answerInOrder(n, answerWith({}, false), &poster, user, erased));
    EXPECT_EQ(poster.keys(), QStringList{"51"}) << "the n makes way at once";
    ASSERT_EQ(poster.later.size(), 1u);
    EXPECT_EQ(poster.later[0].unicode, "n");
    EXPECT_EQ(poster.later[0].userData, XiEventTap::REPLAY_MARK);

    poster.posted.clear();
    poster.later.clear();
    const StreamEvent t = typed(user, 28, "t");
    EXPECT_FALSE(XiEventTap::answerInOrder(t, answerWith(QStringLiteral("т"), true), &poster, user, erased));
    EXPECT_EQ(poster.keys(), QStringList{"51"});
    ASSERT_EQ(poster.later.size(), 1u) << "the core's own answer, no replay of the swallowed key";
    EXPECT_EQ(poster.later[0].unicode, QStringLiteral("т"));

    poster.posted.clear();
    poster.held = 0;
    const StreamEvent x = typed(user, 53, "x");
    EXPECT_TRUE(XiEventTap::answerInOrder(x, answerWith({}, false), &poster, user, erased));
    EXPECT_TRUE(poster.posted.empty()) << "nothing waits: plain typing is left alone";
}

// The main thread answers a key late: the user's next keys are already in the field after
// it. They are erased before the answer, and each is typed again when its own answer comes
// (or answered by the core's own key), never erased twice.
TEST(XiEventTap, KeysThatLandedAfterTheAnsweredKeyAreErasedFirstAndComeBackInTurn) {
    UserKeys user;
    std::set<quint64> erased;
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    const StreamEvent t = typed(user, 28, "t");
    const StreamEvent n = typed(user, 57, "n");
    const StreamEvent space = typed(user, 65, " ");

    EXPECT_FALSE(XiEventTap::answerInOrder(t, [] {
        KeyEventPoster& p = KeyEventPoster::shared();
        for (int i = 0; i < 4; ++i) p.post({51, true, 0, {}, MARK});
        p.post({0, true, 0, QStringLiteral("приве"), MARK});
        return false;
    }, nullptr, user, erased));
    EXPECT_EQ(poster.keys(), (QStringList{"51", "51", "51", "51", "51", "51", "51", QStringLiteral("приве")}))
        << "the space, the n and the t, then the core's four";

    poster.posted.clear();
    EXPECT_FALSE(XiEventTap::answerInOrder(n, answerWith(QStringLiteral("т"), true), nullptr, user, erased));
    EXPECT_EQ(poster.keys(), QStringList{QStringLiteral("т")}) << "already erased";
    poster.posted.clear();
    EXPECT_TRUE(XiEventTap::answerInOrder(space, answerWith({}, false), nullptr, user, erased));
    EXPECT_EQ(poster.keys(), QStringList{" "}) << "passed, so typed again where it belongs";
    EXPECT_TRUE(erased.empty());
}

// A Return (or a click) of the user's landed after the key being answered: a correction now
// would land after it, so the answer's keys are dropped.
TEST(XiEventTap, AnAnswerBehindAReturnThatLandedIsDropped) {
    UserKeys user;
    std::set<quint64> erased;
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    test::LoggedWarnings warnings;
    const StreamEvent t = typed(user, 28, "t");
    user.press(36, false, false);
    EXPECT_FALSE(XiEventTap::answerInOrder(t, answerWith(QStringLiteral("приве"), true), nullptr, user, erased));
    EXPECT_TRUE(poster.posted.empty());
    EXPECT_TRUE(warnings.contains("keys posted in answer are dropped"));
}

// Shift pressed for the next capital changes nothing in the field: the answer on the key
// before it still goes out. A Return, a click or a shortcut is what keys of ours meant for
// before it can no longer follow.
TEST(XiEventTap, AModifierPressedAfterTheAnsweredKeyKeepsTheAnswer) {
    UserKeys user;
    std::set<quint64> erased;
    RecordingPoster poster;
    ScopedService<KeyEventPoster> installed(poster);
    const StreamEvent space = typed(user, 65, " ");
    const quint64 since = user.latest();
    user.press(50, true, false);  // Shift, still held
    EXPECT_TRUE(user.landedAfter(space.seq).empty());
    EXPECT_FALSE(user.fixedAfter(since));
    EXPECT_FALSE(XiEventTap::answerInOrder(space, answerWith(QStringLiteral("привет "), true), nullptr, user, erased));
    EXPECT_EQ(poster.keys(), (QStringList{"51", QStringLiteral("привет ")}));

    user.press(38, false, true);  // a letter: BackSpace takes it back
    EXPECT_FALSE(user.fixedAfter(since));
    user.click();
    EXPECT_TRUE(user.fixedAfter(since));
    EXPECT_FALSE(user.fixedAfter(user.latest()));
}

TEST(XiEventTap, ClicksCountWhenSoonAndNear) {
    ClickCounter c;
    EXPECT_EQ(c.down(10.0, {100, 100}), 1);
    EXPECT_EQ(c.down(10.3, {102, 99}), 2);
    EXPECT_EQ(c.down(10.6, {102, 99}), 3) << "each press within the interval of the last";
    EXPECT_EQ(c.current(), 3);
    EXPECT_EQ(c.down(11.1, {102, 99}), 1) << "too late";
    EXPECT_EQ(c.down(11.2, {120, 99}), 1) << "too far";
}

namespace {

struct DesktopEventTap : ::testing::Test {
    test::DesktopTarget target;
    XiEventTap tap;
    std::unique_ptr<XTestKeyPoster> poster;
    std::optional<ScopedService<KeyEventPoster>> installed;  // the tap erases through it
    std::vector<InputEvent> seen;
    std::function<bool(const InputEvent&)> answer = [](const InputEvent&) { return true; };
    Display* other = nullptr;  // another program's XTest keys: the user's, as far as we can tell

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        poster = std::make_unique<XTestKeyPoster>();
        ASSERT_TRUE(poster->isConnected());
        installed.emplace(poster.get());
        other = XOpenDisplay(nullptr);
        ASSERT_NE(other, nullptr);
        ASSERT_TRUE(tap.create([this](const InputEvent& e) {
            seen.push_back(e);
            return answer(e);
        }));
        poster->setKeyStream(&tap);
        EXPECT_TRUE(tap.exists());
        EXPECT_TRUE(tap.isEnabled());
        ASSERT_TRUE(target.command("clear"));
        ASSERT_TRUE(target.command("focus line"));
        ASSERT_TRUE(test::waitUntil([&] { return target.state().value("focus").toString() == "line"; }));
    }
    void TearDown() override {
        if (other) XCloseDisplay(other);
    }
    // The other program presses and lets go of one key; waits until the tap saw both.
    void press(int xKeycode) {
        const size_t before = seen.size();
        XTestFakeKeyEvent(other, xKeycode, True, 0);
        XTestFakeKeyEvent(other, xKeycode, False, 0);
        XFlush(other);
        ASSERT_TRUE(test::waitUntil([&] { return seen.size() >= before + 2; }))
            << "key " << xKeycode << " seen " << seen.size() - before << " line " << target.line().toStdString();
    }
    // Waits until every event the server had sent has been through the tap.
    bool drained() {
        bool done = false;
        tap.afterPendingEvents([&] { done = true; });
        return test::waitUntil([&] { return done; });
    }
    size_t count(InputEventType type, qint64 keyCode) const {
        return std::count_if(seen.begin(), seen.end(), [&](const InputEvent& e) { return e.type == type && e.keyCode == keyCode; });
    }
};

}  // namespace

TEST_F(DesktopEventTap, TheUsersKeysAndOursReachTheCallbackTold) {
    press(38);  // a
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, InputEventType::keyDown);
    EXPECT_EQ(seen[0].keyCode, 0);
    EXPECT_EQ(seen[0].unicode, "a");
    EXPECT_EQ(seen[0].userData, 0);
    EXPECT_EQ(seen[0].sourcePID, 0);

    seen.clear();
    for (const KeyEvent& e : {KeyEvent{55, true, CMD, {}, MARK}, KeyEvent{11, true, CMD, {}, MARK},
                              KeyEvent{11, false, CMD, {}, MARK}, KeyEvent{55, false, 0, {}, MARK}})
        ASSERT_TRUE(poster->post(e));
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() >= 4; }));
    for (const InputEvent& e : seen) {
        EXPECT_EQ(e.userData, MARK);
        EXPECT_EQ(e.sourcePID, QCoreApplication::applicationPid());
    }
    EXPECT_EQ(seen[0].type, InputEventType::flagsChanged);
    EXPECT_EQ(seen[1].type, InputEventType::keyDown);
    EXPECT_EQ(seen[1].keyCode, 11);
    EXPECT_EQ(seen[1].flags, CMD);

    // A disabled tap reports nothing.
    tap.setEnabled(false);
    EXPECT_FALSE(tap.isEnabled());
    seen.clear();
    XTestFakeKeyEvent(other, 38, True, 0);
    XTestFakeKeyEvent(other, 38, False, 0);
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return target.line().endsWith("a"); }));
    ASSERT_TRUE(drained());
    EXPECT_TRUE(seen.empty());
}

TEST_F(DesktopEventTap, ASwallowedTypedKeyIsErasedAndTheEraseIsNotReported) {
    // The core swallows "x" (key code 7); everything else passes.
    answer = [](const InputEvent& e) { return !(e.type == InputEventType::keyDown && e.keyCode == 7); };
    press(38);  // a
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == "a"; }));
    press(53);  // x: reaches the line edit, then is erased
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == "a"; })) << target.line().toStdString();
    press(56);  // b
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "ab"; })) << target.line().toStdString();
    EXPECT_EQ(count(InputEventType::keyDown, 7), 1u);
    EXPECT_EQ(count(InputEventType::keyDown, 51), 0u) << "the erasing BackSpace is the tap's own business";

    // A swallowed chord is not erased: it typed nothing.
    seen.clear();
    answer = [](const InputEvent& e) { return e.type != InputEventType::keyDown; };
    XTestFakeKeyEvent(other, 37, True, 0);  // Ctrl held: Command
    press(54);                              // c
    XTestFakeKeyEvent(other, 37, False, 0);
    XFlush(other);
    press(56);  // b, swallowed and erased
    // The erasing BackSpace went out while the tap handled b; a key of ours sent after it
    // on the same connection arrives after it.
    answer = [](const InputEvent&) { return true; };
    ASSERT_TRUE(poster->post({8, true, 0, {}, MARK}));  // c
    ASSERT_TRUE(poster->post({8, false, 0, {}, MARK}));
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "abc"; })) << target.line().toStdString();
}

TEST_F(DesktopEventTap, ReturnAndTabEndWordsAndASwallowedReturnGetsNoAnswerTyped) {
    // The core swallows Return and types a correction in its answer.
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.keyCode != 36) return true;
        KeyEventPoster::shared().post({7, true, 0, {}, MARK});  // x
        KeyEventPoster::shared().post({7, false, 0, {}, MARK});
        return false;
    };
    press(38);  // a
    press(36);  // Return: the line edit acts on it, nothing is typed in answer
    press(56);  // b
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == "ab"; })) << target.line().toStdString();
    ASSERT_TRUE(drained());
    EXPECT_EQ(target.line(), "ab");
    const auto down = [&](qint64 code) {
        return *std::find_if(seen.begin(), seen.end(),
                             [&](const InputEvent& e) { return e.type == InputEventType::keyDown && e.keyCode == code; });
    };
    EXPECT_EQ(down(36).unicode, "\r");
    press(23);  // Tab
    EXPECT_EQ(down(48).unicode, "\t");
}

TEST_F(DesktopEventTap, AGrabbedChordGoesToTheTapAlone) {
    tap.grabChord(38, 0);  // j, no modifiers
    press(38);  // a
    press(44);  // j: grabbed
    press(56);  // b
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == "ab"; })) << target.line().toStdString();
    EXPECT_EQ(count(InputEventType::keyDown, 38), 1u) << "the tap still sees the grabbed key";

    tap.ungrabChord(38, 0);
    press(44);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "abj"; })) << target.line().toStdString();
}

TEST_F(DesktopEventTap, ButtonsAndScrollArriveWithPlaceAndClickCount) {
    // Clicks on the bare root window: a right click in the target would open its context
    // menu, which takes the keyboard from every test after this one.
    XTestFakeMotionEvent(other, 0, 1000, 700, 0);
    for (int b : {1, 1, 4, 3}) {
        XTestFakeButtonEvent(other, b, True, 0);
        XTestFakeButtonEvent(other, b, False, 0);
    }
    XFlush(other);
    // Left down and up twice, one scroll step, right down (its release has no type).
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() >= 6; })) << seen.size();
    const InputEventType types[] = {InputEventType::leftMouseDown, InputEventType::leftMouseUp,
                                    InputEventType::leftMouseDown, InputEventType::leftMouseUp,
                                    InputEventType::scrollWheel,   InputEventType::rightMouseDown};
    const qint64 clicks[] = {1, 1, 2, 2, 0, 1};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].type, types[i]);
        EXPECT_EQ(seen[i].clickState, clicks[i]);
        EXPECT_EQ(seen[i].location, QPointF(1000, 700));
        EXPECT_EQ(seen[i].userData, 0);
    }
    ASSERT_TRUE(drained());
    EXPECT_EQ(seen.size(), 6u);
}

TEST_F(DesktopEventTap, AKeySeesTheLayoutAndFrontWindowChangedBeforeIt) {
    // The layout group and the front window are kept from events on connections of their
    // own; a key that follows a change must be judged in the changed state, however late
    // those connections would be read.
    XkbInputSources sources;
    X11Workspace workspace;
    ASSERT_TRUE(sources.isConnected() && workspace.isConnected());
    struct Seen {
        QString text, source;
        unsigned long front;
        QString app;
    };
    std::vector<Seen> keys;
    answer = [&](const InputEvent& e) {
        if (e.type == InputEventType::keyDown) {
            const auto app = workspace.frontmostApplication();
            keys.push_back({e.unicode, sources.currentSource() ? sources.currentSource()->id : QString(),
                            workspace.frontWindow(), app ? app->bundleIdentifier : QString()});
        }
        return true;
    };
    const Window probe = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 40, 40, 0, 0, 0);
    XClassHint hint{const_cast<char*>("probe"), const_cast<char*>("OrderProbe")};
    XSetClassHint(other, probe, &hint);
    XMapWindow(other, probe);
    XSync(other, False);
    ASSERT_TRUE(drained());

    // Another program changes the layout and the focus, then types. Only the key stream's
    // posts are handled until the key has been: the caches' own connections are not read
    // in between, as on a busy main thread whose key arrived first.
    const auto changeThenType = [&](int group, Window focus) {
        XkbLockGroup(other, XkbUseCoreKbd, group);
        XSetInputFocus(other, focus, RevertToParent, CurrentTime);
        XSync(other, False);  // the fake key waits in the input queue behind requests sent with it
        XTestFakeKeyEvent(other, 38, True, 0);  // a, or ф on the Russian group
        XTestFakeKeyEvent(other, 38, False, 0);
        XFlush(other);
        const size_t before = keys.size();
        QElapsedTimer t;
        t.start();
        while (keys.size() == before && t.elapsed() < 5000) {
            QCoreApplication::sendPostedEvents();
            std::this_thread::yield();
        }
        return keys.size() > before && drained();
    };
    ASSERT_TRUE(changeThenType(1, probe));
    ASSERT_TRUE(changeThenType(0, target.windowId()));
    XDestroyWindow(other, probe);
    XFlush(other);

    const Seen expected[] = {{"ф", "com.apple.keylayout.Russian", probe, "orderprobe"},
                             {"a", "com.apple.keylayout.US", target.windowId(), "murmelo_test_target"}};
    ASSERT_EQ(keys.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(keys[i].text.toStdString(), expected[i].text.toStdString());
        EXPECT_EQ(keys[i].source.toStdString(), expected[i].source.toStdString());
        EXPECT_EQ(keys[i].front, expected[i].front);
        EXPECT_EQ(keys[i].app.toStdString(), expected[i].app.toStdString());
    }
}

// The core answers the user's "t" with text typed on the very key the user still holds: the
// text waits until the key is let go (X keeps one state per key: our press would be lost
// and our release would end the user's), and the "n" the user typed meanwhile comes after it.
TEST_F(DesktopEventTap, TextOnAKeyTheUserHoldsWaitsForItsReleaseAndKeepsTheUsersOrder) {
    tap.setOrderedPoster(poster.get());
    answer = [](const InputEvent& e) {
        // The user's t only: ours comes back through the tap too.
        if (e.type != InputEventType::keyDown || e.unicode != "t" || e.userData != 0) return true;
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral("tx"), MARK});
        return false;
    };
    const size_t before = seen.size();
    XTestFakeKeyEvent(other, 28, True, 0);  // t, held
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() > before; }));
    ASSERT_TRUE(drained());
    EXPECT_GT(poster->waiting(), 0) << target.line().toStdString();
    XTestFakeKeyEvent(other, 57, True, 0);  // n, while t is held
    XTestFakeKeyEvent(other, 57, False, 0);
    XFlush(other);
    ASSERT_TRUE(drained());
    EXPECT_GT(poster->waiting(), 0) << "still held: " << target.line().toStdString();
    XTestFakeKeyEvent(other, 28, False, 0);
    XFlush(other);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "txn"; })) << target.line().toStdString();
    EXPECT_EQ(poster->waiting(), 0);
}

// The user lets go of the held "t" and types "n" at once, while the main thread is still busy:
// the stream has read both when the release is answered. Our waiting text goes out after the
// answer to the "n" (which erases it and types it again after ours), never before it.
TEST_F(DesktopEventTap, WaitingTextGoesOutAfterTheAnswerToAKeyTypedOnLettingGo) {
    tap.setOrderedPoster(poster.get());
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.unicode != "t" || e.userData != 0) return true;
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral("tx"), MARK});
        return false;
    };
    XTestFakeKeyEvent(other, 28, True, 0);  // t, held
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return poster->waiting() > 0; })) << target.line().toStdString();
    const quint64 before = UserKeys::shared().latest();
    XTestFakeKeyEvent(other, 28, False, 0);
    XTestFakeKeyEvent(other, 57, True, 0);  // n
    XTestFakeKeyEvent(other, 57, False, 0);
    XSync(other, False);
    // Busy here (no event loop) until the stream's thread has read the n.
    QElapsedTimer busy;
    busy.start();
    while (UserKeys::shared().latest() == before && busy.elapsed() < 5000) std::this_thread::yield();
    ASSERT_GT(UserKeys::shared().latest(), before);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "txn"; })) << target.line().toStdString();
    EXPECT_EQ(poster->waiting(), 0);
}

// Our waiting keys are let go with the user's release of "t", and the user's "n" reaches the
// server before they do, unseen when they were let go (here another client holds the server
// meanwhile; on a busy machine the key stream is simply late): they still come before the
// "n", as typed.
TEST_F(DesktopEventTap, AKeyThatReachesTheServerAheadOfOurKeysUnseenStillComesAfterThem) {
    tap.setOrderedPoster(poster.get());
    // Keys, not text: typing text asks the server for the layout group, which a held server
    // would not answer without the fence.
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.unicode != "t" || e.userData != 0) return true;
        for (const bool down : {true, false}) KeyEventPoster::shared().post({17, down, 0, {}, MARK});
        for (const bool down : {true, false}) KeyEventPoster::shared().post({7, down, 0, {}, MARK});  // x
        return false;
    };
    XTestFakeKeyEvent(other, 28, True, 0);  // t, held
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return poster->waiting() > 0; })) << target.line().toStdString();
    const auto released = [&] { return count(InputEventType::keyUp, 17) > 0; };  // kVK_ANSI_T
    XGrabServer(other);
    XTestFakeKeyEvent(other, 28, False, 0);
    XSync(other, False);
    ASSERT_TRUE(test::waitUntil(released)) << "the release is read while the server is held";
    XTestFakeKeyEvent(other, 57, True, 0);  // n, served before anything of ours
    XTestFakeKeyEvent(other, 57, False, 0);
    XUngrabServer(other);
    XFlush(other);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "txn"; })) << target.line().toStdString();
    EXPECT_EQ(poster->waiting(), 0);
}

// On the Russian layout the user holds "щ" and "б" (the keys of o and the comma); the core
// answers with "o" and ",": the "o" waits for the "щ" key. When it goes, it locks the English
// group, where the comma is on the "б" key the user still holds: the comma waits for that
// key too (our press of it would be lost), whatever the group was when the "o" was let go.
TEST_F(DesktopEventTap, TextAfterABorrowedGroupWaitsForTheKeyItTakesThere) {
    tap.setOrderedPoster(poster.get());
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.unicode != QStringLiteral("б") || e.userData != 0) return true;
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral("o"), MARK});
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral(","), MARK});
        return true;
    };
    XkbLockGroup(other, XkbUseCoreKbd, 1);
    XTestFakeKeyEvent(other, 32, True, 0);  // щ, held
    XTestFakeKeyEvent(other, 59, True, 0);  // б, held
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return poster->waiting() == 2; })) << target.line().toStdString();
    XTestFakeKeyEvent(other, 32, False, 0);
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == QStringLiteral("щбo"); })) << target.line().toStdString();
    EXPECT_EQ(poster->waiting(), 1) << "the comma waits for the б key";
    XTestFakeKeyEvent(other, 59, False, 0);
    XkbLockGroup(other, XkbUseCoreKbd, 0);
    XFlush(other);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == QStringLiteral("щбo,"); })) << target.line().toStdString();
}

// The core types a word and its space back while the user still holds the space key, and the
// user's Return follows before the space is let go: our space does not wait for it (a second
// key gives a space), so it stands before the Return, as typed.
TEST_F(DesktopEventTap, OurSpaceDoesNotWaitForTheUsersHeldSpaceKey) {
    ASSERT_TRUE(target.command("focus text"));
    ASSERT_TRUE(test::waitUntil([&] { return target.state().value("focus").toString() == "text"; }));
    tap.setOrderedPoster(poster.get());
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.unicode != " " || e.userData != 0) return true;
        KeyEventPoster& p = KeyEventPoster::shared();
        p.post({51, true, 0, {}, MARK});
        p.post({51, false, 0, {}, MARK});
        p.post({0, true, 0, QStringLiteral("b "), MARK});
        return false;
    };
    ASSERT_TRUE(test::waitUntil([&] { return poster->spaceTwinReady(); }));
    press(38);  // a
    XTestFakeKeyEvent(other, 65, True, 0);  // space, held
    XSync(other, False);
    ASSERT_TRUE(drained());
    EXPECT_EQ(poster->waiting(), 0) << "nothing waits for the space key";
    XTestFakeKeyEvent(other, 36, True, 0);  // Return, while the space is held
    XTestFakeKeyEvent(other, 36, False, 0);
    XTestFakeKeyEvent(other, 65, False, 0);
    XFlush(other);
    ASSERT_TRUE(drained());
    EXPECT_TRUE(test::waitUntil([&] { return target.text() == "b \n"; })) << target.text().toStdString();
}

// The keys of one answer reach the server in one write when the batch closes: none of them
// is out while it is open, so no key of the user's can land among them.
TEST_F(DesktopEventTap, KeysOfABatchReachTheServerTogetherWhenItCloses) {
    const size_t before = seen.size();
    poster->beginBatch();
    poster->post({0, true, 0, QStringLiteral("x"), MARK});
    poster->post({0, true, 0, QStringLiteral("дa"), MARK});  // a borrowed group, and back
    poster->post({51, true, 0, {}, MARK});
    poster->post({51, false, 0, {}, MARK});
    poster->post({0, true, 0, QStringLiteral("b"), MARK});
    XSync(other, False);
    ASSERT_TRUE(drained());
    EXPECT_EQ(seen.size(), before);
    poster->endBatch();
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == QStringLiteral("xдb"); })) << target.line().toStdString();
}

// Keys of ours still waiting for a key the user holds when the user's Return lands would
// land after it, on the next line: they are dropped, and the log says so.
TEST_F(DesktopEventTap, OurKeysWaitingWhenTheUsersReturnLandsAreDropped) {
    ASSERT_TRUE(target.command("focus text"));
    ASSERT_TRUE(test::waitUntil([&] { return target.state().value("focus").toString() == "text"; }));
    tap.setOrderedPoster(poster.get());
    test::LoggedWarnings warnings;
    answer = [](const InputEvent& e) {
        if (e.type != InputEventType::keyDown || e.unicode != "t" || e.userData != 0) return true;
        KeyEventPoster::shared().post({0, true, 0, QStringLiteral("t"), MARK});
        return true;
    };
    XTestFakeKeyEvent(other, 28, True, 0);  // t, held
    XFlush(other);
    ASSERT_TRUE(test::waitUntil([&] { return poster->waiting() > 0; })) << target.text().toStdString();
    XTestFakeKeyEvent(other, 36, True, 0);  // Return
    XTestFakeKeyEvent(other, 36, False, 0);
    XTestFakeKeyEvent(other, 28, False, 0);
    XFlush(other);
    ASSERT_TRUE(drained());
    EXPECT_EQ(poster->waiting(), 0);
    EXPECT_TRUE(test::waitUntil([&] { return target.text() == "t\n"; })) << target.text().toStdString();
    EXPECT_TRUE(warnings.contains("they are dropped"));
}
