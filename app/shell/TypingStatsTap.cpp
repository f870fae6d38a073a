#include "shell/TypingStatsTap.h"

#include "stats/TypingStats.h"

namespace murmelo {

void TypingStatsTap::note(quint64 stamp, qint64 keyCode, quint64 flags) { TypingStats::note(stamp, keyCode, flags); }

}  // namespace murmelo
