#include "linux/XiEventStream.h"

#include "DesktopHarness.h"
#include "linux/KeyTable.h"
#include "linux/XTestKeyPoster.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

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
