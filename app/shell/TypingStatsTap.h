#pragma once
#include "input/TapConsumers.h"

namespace murmelo {

// Hands the event tap's physical key downs to the keystroke-rhythm statistics. The tap's
// seam lives in the input subsystem and the statistics build on the core alone, so the
// shell, which knows both, joins them.
class TypingStatsTap : public TapTypingStats {
public:
    void note(quint64 stamp, qint64 keyCode, quint64 flags) override;
};

}  // namespace murmelo
