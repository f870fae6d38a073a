#pragma once
#include "reply/ScreenReplyDeliveryDecision.h"

namespace murmelo {

// Reads, through accessibility, whether the target application's focused element takes text
// and whether it is a password field. Main thread; blocks for a few bounded round trips.
namespace FocusedFieldProbe {
// Each call to the target may wait this long.
inline constexpr float messagingTimeout = 0.6f;
// The whole probe may wait this long; one that overran it knows nothing for certain, and
// its field counts as neither editable nor secure, so the reply goes to the preview.
inline constexpr double totalBound = 1.5;

FocusedFieldSnapshot snapshot(qint32 targetPID);
}  // namespace FocusedFieldProbe

}  // namespace murmelo
