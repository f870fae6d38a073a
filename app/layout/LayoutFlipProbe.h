#pragma once
#include "layout/LayoutSwitcher.h"

namespace murmelo {

// Watches what the user does right after a live flip and logs one line per flip: how many
// letters and Backspaces followed and how soon the first reaction came. It changes no
// decision. Main thread only.
namespace LayoutFlipProbe {

void start(LayoutSwitcher& engine, qint64 wordLen);
// A character typed through the live bridge.
void letter(LayoutSwitcher& engine);
void backspace(LayoutSwitcher& engine);
// The episode ended for the named reason.
void end(LayoutSwitcher& engine, const QString& outcome);
// Notes the time of the first reaction.
void mark(LayoutSwitcher& engine);
// Logs the open probe with the outcome and closes it.
void flush(LayoutSwitcher& engine, const QString& outcome);

}  // namespace LayoutFlipProbe

}  // namespace murmelo
