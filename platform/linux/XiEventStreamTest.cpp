#include "linux/XiEventStream.h"

#include "DesktopHarness.h"
#include "linux/KeyTable.h"
#include "linux/XTestKeyPoster.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

#include <mutex>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr qint64 MARK = 0x54514D31;

struct DesktopEventStream : ::testing::Test {
    std::vector<StreamEvent> events;
    std::unique_ptr<XiEventStream> stream;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        stream = std::make_unique<XiEventStream>([this](const StreamEvent& e) { events.push_back(e); });
        ASSERT_TRUE(stream->isRunning());
    }
    bool waitFor(size_t n) { return test::waitUntil([&] { return events.size() >= n; }); }
};

}  // namespace

TEST_F(DesktopEventStream, AnotherClientsKeysAreTheUsersAndOursAreOwn) {
    // Another program types "a" through XTest: nothing of ours, so the user's.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XTestFakeKeyEvent(other, 38, True, 0);
    XTestFakeKeyEvent(other, 38, False, 0);
    XFlush(other);
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(events[0].kind, StreamEvent::Kind::KeyDown);
    EXPECT_EQ(events[0].keyCode, 0);
    EXPECT_FALSE(events[0].own);
    EXPECT_EQ(events[1].kind, StreamEvent::Kind::KeyUp);
    EXPECT_FALSE(events[1].own);

    // Our own Command-B: four events, all own, carrying the mark; the flags follow Ctrl.
    XTestKeyPoster poster;
    events.clear();
    for (const KeyEvent& e : {KeyEvent{55, true, KeyFlags::command, {}, MARK}, KeyEvent{11, true, KeyFlags::command, {}, MARK},
                              KeyEvent{11, false, KeyFlags::command, {}, MARK}, KeyEvent{55, false, 0, {}, MARK}})
        ASSERT_TRUE(poster.post(e));
    ASSERT_TRUE(waitFor(4));
    const StreamEvent::Kind kinds[] = {StreamEvent::Kind::FlagsChanged, StreamEvent::Kind::KeyDown,
                                       StreamEvent::Kind::KeyUp, StreamEvent::Kind::FlagsChanged};
    const quint64 flags[] = {KeyTable::FLAG_COMMAND, KeyTable::FLAG_COMMAND, KeyTable::FLAG_COMMAND, 0};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].kind, kinds[i]);
        EXPECT_TRUE(events[i].own);
        EXPECT_EQ(events[i].userData, MARK);
        EXPECT_EQ(events[i].flags, flags[i]);
    }
    EXPECT_EQ(events[1].keyCode, 11);

    // And the other program again, right after ours: still the user's.
    events.clear();
    XTestFakeKeyEvent(other, 105, True, 0);   // right Ctrl: the dictation key
    XTestFakeKeyEvent(other, 105, False, 0);
    XFlush(other);
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(events[0].keyCode, 54);
    EXPECT_EQ(events[0].kind, StreamEvent::Kind::FlagsChanged);
    EXPECT_EQ(events[0].flags, KeyTable::FLAG_COMMAND);
    EXPECT_FALSE(events[0].own);
    EXPECT_EQ(events[1].flags, 0u);
    XCloseDisplay(other);
}

TEST_F(DesktopEventStream, AChordAnotherProgramHoldsIsRefusedAndReported) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XGrabKey(other, 44, ControlMask, DefaultRootWindow(other), True, GrabModeAsync, GrabModeAsync);  // Ctrl+J
    XSync(other, False);
    {
        test::LoggedWarnings warnings;
        EXPECT_FALSE(stream->grabKey(44, ControlMask));
        EXPECT_TRUE(warnings.contains("BadAccess")) << warnings.lines().join('\n').toStdString();
    }
    XUngrabKey(other, 44, ControlMask, DefaultRootWindow(other));
    XSync(other, False);
    // Nothing of the refused grab was left half in place, and the chord can be had now.
    EXPECT_TRUE(stream->grabKey(44, ControlMask));
    stream->ungrabKey(44, ControlMask);
    XCloseDisplay(other);
}

namespace {

// Holds what the reader thread posts until the test runs it: the main thread looks busy.
class HeldQueue : public MainQueue {
public:
    void post(std::function<void()> fn) override {
        std::lock_guard lock(mutex_);
        posts_.push_back(std::move(fn));
    }
    TimerHandle after(double, std::function<void()>) override { return {}; }
    bool isMainThread() const override { return false; }
    size_t size() {
        std::lock_guard lock(mutex_);
        return posts_.size();
    }
    void runAll() {
        std::vector<std::function<void()>> posts;
        {
            std::lock_guard lock(mutex_);
            posts.swap(posts_);
        }
        for (auto& fn : posts) fn();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> posts_;
};

}  // namespace

// Keys read while the main thread is busy wait for it together: one wake-up for the burst,
// in the order typed, and still ahead of a sentinel asked for after them.
TEST(DesktopEventStreamBurst, KeysReadWhileTheMainThreadIsBusyComeInOneDrainInOrder) {
    if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
    HeldQueue queue;
    ScopedService<MainQueue> installed(queue);
    std::vector<StreamEvent> events;
    XiEventStream stream([&](const StreamEvent& e) { events.push_back(e); });
    ASSERT_TRUE(stream.isRunning());
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const int keys[] = {38, 56, 54, 40, 26};  // a b c d e
    for (int kc : keys) {
        XTestFakeKeyEvent(other, kc, True, 0);
        XTestFakeKeyEvent(other, kc, False, 0);
    }
    XSync(other, False);
    bool sentinel = false;
    size_t handledAtSentinel = 0;
    stream.afterPendingEvents([&] {
        sentinel = true;
        handledAtSentinel = events.size();
    });
    // The sentinel's post comes after every event was read and handed on.
    ASSERT_TRUE(test::waitUntil([&] { return queue.size() >= 2; }));
    EXPECT_EQ(queue.size(), 2u);
    queue.runAll();
    ASSERT_TRUE(sentinel);
    EXPECT_EQ(handledAtSentinel, 10u);
    ASSERT_EQ(events.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[size_t(i)].xKeycode, keys[i / 2]);
        EXPECT_EQ(events[size_t(i)].kind, i % 2 ? StreamEvent::Kind::KeyUp : StreamEvent::Kind::KeyDown);
    }
    XCloseDisplay(other);
}
