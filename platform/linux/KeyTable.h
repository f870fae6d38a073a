#pragma once
#include <cstdint>
#include <optional>

namespace murmelo::linuxdesktop {

// The one translation between the core's virtual key codes and event flags and the X
// server's key codes (evdev + 8) and modifier state. Keys go by physical position, never
// by the character they produce. Ctrl stands where Command stands in the core (it is the
// shortcut modifier here), Alt where Option stands, Super where Control stands.
namespace KeyTable {

// Core event flags.
constexpr std::uint64_t FLAG_CAPS_LOCK = 0x10000;
constexpr std::uint64_t FLAG_SHIFT = 0x20000;
constexpr std::uint64_t FLAG_CONTROL = 0x40000;
constexpr std::uint64_t FLAG_OPTION = 0x80000;
constexpr std::uint64_t FLAG_COMMAND = 0x100000;

std::optional<int> xKeycode(int virtualKey);
std::optional<int> virtualKey(int xKeycode);

// The flag a modifier key drives (right Ctrl -> Command, ...), 0 for other keys.
std::uint64_t modifierFlag(int virtualKey);

// X modifier state (ShiftMask, LockMask, ControlMask, Mod1Mask, Mod4Mask) <-> core flags.
std::uint64_t flagsFromXState(unsigned state);
unsigned xStateFromFlags(std::uint64_t flags);

}  // namespace KeyTable
}  // namespace murmelo::linuxdesktop
