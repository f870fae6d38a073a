#include "linux/X11ModifierFlags.h"

#include "DesktopHarness.h"
#include "linux/KeyTable.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

using namespace murmelo::linuxdesktop;

namespace {

void setKey(char keys[32], int xKeycode) { keys[xKeycode / 8] |= char(1 << (xKeycode % 8)); }

}  // namespace

TEST(X11ModifierFlags, HeldKeysReadAsTheCoreFlags) {
    struct Case {
        const char* name;
        std::vector<int> xKeycodes;
        quint64 flags;
    };
    const std::vector<Case> cases{
        {"nothing held", {}, 0},
        {"right Ctrl, the dictation key", {105}, KeyTable::FLAG_COMMAND},
        {"right Alt with left Shift", {108, 50}, KeyTable::FLAG_OPTION | KeyTable::FLAG_SHIFT},
        {"letters and Space are no modifiers", {38, 65}, 0},
        {"both Ctrl keys", {37, 105}, KeyTable::FLAG_COMMAND},
    };
    for (const Case& c : cases) {
        char keys[32] = {};
        for (int k : c.xKeycodes) setKey(keys, k);
        EXPECT_EQ(X11ModifierFlags::flagsFromKeymap(keys), c.flags) << c.name;
    }
}

TEST(DesktopModifierFlags, ARightCtrlHeldOnTheServerReadsAsCommandUntilReleased) {
    if (!murmelo::test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
    X11ModifierFlags flags;
    ASSERT_TRUE(flags.isConnected());
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XTestFakeKeyEvent(d, 105, True, 0);
    XSync(d, False);
    EXPECT_EQ(flags.current(), KeyTable::FLAG_COMMAND);
    XTestFakeKeyEvent(d, 105, False, 0);
    XSync(d, False);
    EXPECT_EQ(flags.current(), 0u);
    XCloseDisplay(d);
}
