#pragma once
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// Watches the system's secure keyboard entry (it hides keys from the event tap), logs when
// it starts and ends and who holds it, and tells the paste path whether a text may be
// written into the focused field. State changes on the main thread only.
namespace SecureInput {

enum class FieldProbe { secure, normal, unknown };
enum class WriteVerdict { allow, denySecureField, denyBlindAX };

inline constexpr double pollInterval = 2.5;

// Polls at once and then every 2.5 s; a second call does nothing.
void start();
// Whether secure input was on at the last poll.
bool flagActive();
std::optional<QDateTime> enabledAt();
// Applies one poll's answer (main thread).
void apply(bool active);

void noteSuppressedDoubleShift();
FieldProbe probeFocusedField();
WriteVerdict decide(bool flagActive, FieldProbe field);
WriteVerdict pasteVerdict();

// The status item's tooltip while secure input is on; empty while it is off.
QString tooltip();
// The menu line's title (also its tooltip text).
QString menuTitle();
// Called on the main thread after each switch, so that the status menu shows or hides its
// line and sets the tooltip.
void setPresentationObserver(std::function<void(bool active)> observer);

// Finds the holder's process id in the session registry dump.
std::optional<qint64> holderPid(const QString& registryText);

void resetForTesting();

}  // namespace SecureInput
}  // namespace murmelo
