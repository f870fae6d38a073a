#include "linux/KeyTable.h"

#include <X11/X.h>
#include <array>
#include <utility>

namespace murmelo::linuxdesktop::KeyTable {
namespace {

// virtual key code -> X key code (evdev + 8).
constexpr std::pair<int, int> kKeys[] = {
    // letters
    {0, 38}, {1, 39}, {2, 40}, {3, 41}, {4, 43}, {5, 42}, {6, 52}, {7, 53}, {8, 54}, {9, 55},
    {11, 56}, {12, 24}, {13, 25}, {14, 26}, {15, 27}, {16, 29}, {17, 28}, {31, 32}, {32, 30},
    {34, 31}, {35, 33}, {37, 46}, {38, 44}, {40, 45}, {45, 57}, {46, 58},
    // digits
    {18, 10}, {19, 11}, {20, 12}, {21, 13}, {23, 14}, {22, 15}, {26, 16}, {28, 17}, {25, 18}, {29, 19},
    // punctuation
    {27, 20}, {24, 21}, {33, 34}, {30, 35}, {41, 47}, {39, 48}, {50, 49}, {42, 51}, {43, 59},
    {47, 60}, {44, 61}, {10, 94},
    // editing and navigation
    {36, 36}, {48, 23}, {49, 65}, {51, 22}, {53, 9}, {117, 119}, {114, 118}, {115, 110},
    {119, 115}, {116, 112}, {121, 117}, {123, 113}, {124, 114}, {125, 116}, {126, 111},
    // modifiers: Ctrl as Command, Alt as Option, Super as Control
    {54, 105}, {55, 37}, {56, 50}, {60, 62}, {58, 64}, {61, 108}, {59, 133}, {62, 134}, {57, 66},
    // function keys
    {122, 67}, {120, 68}, {99, 69}, {118, 70}, {96, 71}, {97, 72}, {98, 73}, {100, 74},
    {101, 75}, {109, 76}, {103, 95}, {111, 96},
    // keypad
    {82, 90}, {83, 87}, {84, 88}, {85, 89}, {86, 83}, {87, 84}, {88, 85}, {89, 79}, {91, 80},
    {92, 81}, {65, 91}, {67, 63}, {69, 86}, {75, 106}, {76, 104}, {78, 82}, {81, 125}, {71, 77},
    // volume
    {74, 121}, {73, 122}, {72, 123},
};

}  // namespace

std::optional<int> xKeycode(int virtualKey) {
    for (auto [v, x] : kKeys)
        if (v == virtualKey) return x;
    return std::nullopt;
}

std::optional<int> virtualKey(int xKeycode) {
    for (auto [v, x] : kKeys)
        if (x == xKeycode) return v;
    return std::nullopt;
}

std::uint64_t modifierFlag(int virtualKey) {
    switch (virtualKey) {
    case 54: case 55: return FLAG_COMMAND;
    case 58: case 61: return FLAG_OPTION;
    case 56: case 60: return FLAG_SHIFT;
    case 59: case 62: return FLAG_CONTROL;
    case 57: return FLAG_CAPS_LOCK;
    default: return 0;
    }
}

std::uint64_t flagsFromXState(unsigned state) {
    std::uint64_t f = 0;
    if (state & ShiftMask) f |= FLAG_SHIFT;
    if (state & LockMask) f |= FLAG_CAPS_LOCK;
    if (state & ControlMask) f |= FLAG_COMMAND;
    if (state & Mod1Mask) f |= FLAG_OPTION;
    if (state & Mod4Mask) f |= FLAG_CONTROL;
    return f;
}

unsigned xStateFromFlags(std::uint64_t flags) {
    unsigned s = 0;
    if (flags & FLAG_SHIFT) s |= ShiftMask;
    if (flags & FLAG_CAPS_LOCK) s |= LockMask;
    if (flags & FLAG_COMMAND) s |= ControlMask;
    if (flags & FLAG_OPTION) s |= Mod1Mask;
    if (flags & FLAG_CONTROL) s |= Mod4Mask;
    return s;
}

}  // namespace murmelo::linuxdesktop::KeyTable
