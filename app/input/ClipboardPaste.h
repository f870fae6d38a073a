#pragma once
#include "input/TemporaryClipboardLease.h"
#include "input/TextWriteTrace.h"

#include <QString>
#include <functional>

namespace murmelo {

// Seconds of the clipboard paste.
namespace PasteTiming {
inline constexpr double settleLocal = 0.07;
inline constexpr double settleRemote = 0.5;
inline constexpr double minRestoreLocal = 0.6;
inline constexpr double minRestoreRemote = 1.5;
inline constexpr double readGrace = 0.25;
inline constexpr double unreadTimeoutLocal = 2.0;
inline constexpr double unreadTimeoutRemote = 3.0;
}  // namespace PasteTiming

// Puts the text on the pasteboard under a lease, posts Command-V after the settle, and
// gives the user's clipboard back soon after the target reads it (the read canary), or at
// the deadline when nobody reads. Refuses a password field: nothing is written or posted.
// Main thread; returns after the pasteboard write.
void pasteViaClipboard(const QString& text, TextWriteOrigin origin = TextWriteOrigin::unknown);

// The same paste under a lease the caller already holds (one that copied from the field
// first): the lease's own restore gives the user's clipboard back once the target has read
// the text, never on a fixed timer. False, with nothing written, when the lease is no longer
// active or the field takes no paste.
bool pasteUnderLease(const QString& text, const TemporaryClipboardLease::Token& lease,
                     TextWriteOrigin origin = TextWriteOrigin::unknown);

// Where the remote-viewer note goes into the current dictation's timing report; the
// dictation flow installs it.
void setDictationTimingNote(std::function<void(const QString&)> note);

}  // namespace murmelo
