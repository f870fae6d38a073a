#pragma once

namespace murmelo {

// Joins subsystems that meet but may not include each other: a later subsystem's code fills
// an earlier one's seam. The shell knows both sides, so the joining happens here, once, before
// the start-up.
void linkSubsystems();

class LayoutSwitcher;
// Typing without Command while a dictation records ends the dictation: the switcher asks
// recording control whether a take runs and stops it.
void linkSwitcherToDictation(LayoutSwitcher& engine);

}  // namespace murmelo
