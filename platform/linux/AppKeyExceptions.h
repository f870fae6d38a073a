#pragma once
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace murmelo::linuxdesktop {

// Shortcuts that some applications take with other modifiers than the rest of the desktop.
// The core posts one shortcut for every application ("Command-V", Ctrl+V here); the backend
// adjusts it at its edge for the application in front.
namespace AppKeyExceptions {

// Terminal emulators, by application id (desktop-file id or lower-cased window class, in
// any letter case): Ctrl+V there reaches the shell as a control character instead of
// pasting, and Ctrl+C interrupts the running program instead of copying; they paste with
// Ctrl+Shift+V and copy with Ctrl+Shift+C.
bool isTerminal(const QString& appId);

// Terminals with no copy or paste shortcut at all (xterm, urxvt and their kin): Ctrl+Shift+C
// reaches the running program as ^C there. They paste the PRIMARY selection with
// Shift+Insert.
bool lacksClipboardKeys(const QString& appId);

// Word-wise arrows: the core's Option-Left and Option-Right (with or without Shift) move by
// words; on Linux that is Ctrl+Left and Ctrl+Right, while Alt+Left goes back in a browser.

// Whether a key down of `virtualKey` with `flags` in force (the event's own and those of
// modifier keys already held) is a shortcut some application takes differently; only such
// keys need the front application looked up.
bool mayDiffer(int virtualKey, quint64 flags);

// The modifier flags that key down needs in the front application, named by its ids (the
// application id and the window's class names): Command-V and Command-C, with no other
// modifier, gain Shift in a terminal; a word-wise arrow takes Command (Ctrl) for Option.
// Anything else unchanged.
quint64 shortcutFlags(const QStringList& frontIds, int virtualKey, quint64 flags);

}  // namespace AppKeyExceptions
}  // namespace murmelo::linuxdesktop
