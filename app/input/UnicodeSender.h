#pragma once
#include "input/TextWriteTrace.h"

#include <QString>
#include <optional>

namespace murmelo {

// Types a text as marked synthetic key events carrying Unicode: one key down and one key
// up per character, back to back. Returns the write's trace token, none when nothing was
// posted.
std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin = TextWriteOrigin::unknown);

}  // namespace murmelo
