#pragma once
#include "platform/KeyEventPoster.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// "TQM1" read as a big-endian 32-bit number: the user-data mark of every event we post.
inline constexpr qint64 SYNTHETIC_MARK = (qint64('T') << 24) | (qint64('Q') << 16) | (qint64('M') << 8) | qint64('1');

// Remote-desktop and screen-sharing viewers, lower-case id prefixes.
extern const QStringList REMOTE_VIEWER_BUNDLE_PREFIXES;
extern const QStringList LINUX_REMOTE_VIEWER_PREFIXES;
// Paste deliveries into a remote viewer through the clipboard, paced for the link.
inline const QString PASTE_CLIPBOARD_KEY = QStringLiteral("dictationPasteViaClipboard");

// One door for every synthetic event, so that a test process never touches the real key
// stream.
namespace SyntheticInputPostGate {

// Fixed on first use for the life of the process.
bool isBlocked();
// The rule behind isBlocked: the contract-test switch set to "1" exactly, or a process
// whose name begins with "murmelo-tests-".
bool computeIsBlocked(const QProcessEnvironment& environment, const QString& processName);
// Posts the event unless blocked; true when it was posted.
bool post(const KeyEvent& event);

}  // namespace SyntheticInputPostGate

bool isRemoteViewerBundleID(const std::optional<QString>& bundleID);
// The setting is on and a remote viewer is in front.
bool isRemotePasteActive();
bool isClipboardPasteMode();
void setClipboardPasteMode(bool on);

// Posts left-Command down, key down, key up, left-Command up, all marked. For a remote
// viewer the four steps leave at 0, 60, 120 and 180 ms on the main queue.
void sendCommandKeystroke(quint16 keyCode);
// Command-V.
void sendPasteKeystroke();

}  // namespace murmelo
