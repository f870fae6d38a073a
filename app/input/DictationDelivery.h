#pragma once
#include "input/TextWriteTrace.h"

#include <QString>

namespace murmelo {

enum class DictationInsertionRoute { directUnicode, clipboard };

// A text longer than this many characters goes by clipboard.
inline constexpr int DIRECT_TYPING_MAX_CHARS = 200;

DictationInsertionRoute dictationInsertionRoute(const QString& text, bool clipboardMode);

// The one door for a finished dictation into the focused application: refuses empty text
// and password fields, then types it directly (and audits it) or pastes it.
void pasteText(const QString& text, TextWriteOrigin origin = TextWriteOrigin::unknown);

}  // namespace murmelo
