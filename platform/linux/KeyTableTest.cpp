#include "linux/KeyTable.h"

#include <X11/X.h>
#include <gtest/gtest.h>
#include <set>

using namespace murmelo::linuxdesktop;

namespace {

// The keys whose places the core relies on by number (hot keys, typing, editing).
struct Case {
    const char* what;
    int virtualKey;
    int xKeycode;
    std::uint64_t flag;
};

const Case kCases[] = {
    {"right Ctrl is the right Command (the dictation key)", 54, 105, KeyTable::FLAG_COMMAND},
    {"left Ctrl is the left Command", 55, 37, KeyTable::FLAG_COMMAND},
    {"right Alt is the right Option", 61, 108, KeyTable::FLAG_OPTION},
    {"left Alt is the left Option", 58, 64, KeyTable::FLAG_OPTION},
    {"right Shift", 60, 62, KeyTable::FLAG_SHIFT},
    {"left Shift", 56, 50, KeyTable::FLAG_SHIFT},
    {"right Super is the right Control", 62, 134, KeyTable::FLAG_CONTROL},
    {"left Super is the left Control", 59, 133, KeyTable::FLAG_CONTROL},
    {"Caps Lock", 57, 66, KeyTable::FLAG_CAPS_LOCK},
    {"Return", 36, 36, 0},
    {"Tab", 48, 23, 0},
    {"Space", 49, 65, 0},
    {"BackSpace is Delete", 51, 22, 0},
    {"Escape", 53, 9, 0},
    {"Delete is Forward Delete", 117, 119, 0},
    {"Home", 115, 110, 0},
    {"End", 119, 115, 0},
    {"Left", 123, 113, 0},
    {"Right", 124, 114, 0},
    {"Down", 125, 116, 0},
    {"Up", 126, 111, 0},
    {"A by position", 0, 38, 0},
    {"Z by position", 6, 52, 0},
    {"V (the paste key)", 9, 55, 0},
    {"grave", 50, 49, 0},
    {"the key left of Z on an ISO keyboard", 10, 94, 0},
};

}  // namespace

TEST(KeyTable, KnownKeysMapBothWaysWithTheirModifierFlag) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(KeyTable::xKeycode(c.virtualKey), c.xKeycode);
        EXPECT_EQ(KeyTable::virtualKey(c.xKeycode), c.virtualKey);
        EXPECT_EQ(KeyTable::modifierFlag(c.virtualKey), c.flag);
    }
}

TEST(KeyTable, IsOneToOne) {
    std::set<int> xs;
    for (int v = 0; v < 128; ++v) {
        const auto x = KeyTable::xKeycode(v);
        if (!x) continue;
        EXPECT_TRUE(xs.insert(*x).second) << "X key code " << *x << " twice";
        EXPECT_EQ(KeyTable::virtualKey(*x), v);
    }
    EXPECT_GE(xs.size(), 48u + 20u);
    EXPECT_FALSE(KeyTable::xKeycode(1000).has_value());
    EXPECT_FALSE(KeyTable::virtualKey(255).has_value());
}

TEST(KeyTable, ModifierStateAndFlagsRoundTrip) {
    struct S {
        unsigned state;
        std::uint64_t flags;
    } cases[] = {
        {0, 0},
        {ControlMask, KeyTable::FLAG_COMMAND},
        {Mod1Mask, KeyTable::FLAG_OPTION},
        {ShiftMask, KeyTable::FLAG_SHIFT},
        {Mod4Mask, KeyTable::FLAG_CONTROL},
        {LockMask, KeyTable::FLAG_CAPS_LOCK},
        {ControlMask | ShiftMask, KeyTable::FLAG_COMMAND | KeyTable::FLAG_SHIFT},
    };
    for (const S& c : cases) {
        EXPECT_EQ(KeyTable::flagsFromXState(c.state), c.flags);
        EXPECT_EQ(KeyTable::xStateFromFlags(c.flags), c.state);
    }
    // Buttons, Num Lock (Mod2) and AltGr's Mod5 are not modifiers of the core.
    EXPECT_EQ(KeyTable::flagsFromXState(Button1Mask | Mod2Mask | Mod5Mask), 0u);
}
