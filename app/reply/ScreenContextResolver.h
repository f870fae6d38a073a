#pragma once
#include "dictation/DictationNeighbours.h"
#include "reply/ScreenContext.h"

#include <QString>
#include <functional>
#include <utility>
#include <variant>

namespace murmelo {

// Turns the application a reply goes to into the text the reply is composed from: its
// selection, its window's accessibility text, a recognised capture of the window (when
// allowed) and the clipboard, in that order. Password managers are never read; secrets are
// redacted before the text is cut to its ceiling. No state survives a resolution.
namespace ScreenContextResolver {

inline constexpr int contextLimit = 12000;
inline constexpr int minimumUsefulLength = 40;
inline constexpr int minimumUsefulWindowLength = 200;
inline constexpr double headShareWhenTrimming = 0.3;
inline const QString dropMark = QStringLiteral("\n\n[…середина пропущена…]\n\n");

using Result = std::variant<ScreenContext, ScreenContextError>;

// Main thread. The completion runs once, on the main thread: at once for a password manager
// or a closed application, later otherwise.
void resolve(const ReplyTarget& target, bool allowOCR, std::function<void(Result)> completion);

ScreenContext package(const QString& text, ScreenContextSource source, const QString& appName, const QString& bundleID,
                      QuickActionAppCategory category, qint32 pid);
// The text cut to the ceiling, and whether it was cut.
std::pair<QString, bool> trim(const QString& text, QuickActionAppCategory category);
QString noTextReason(const QString& appName, const QString& tail);

}  // namespace ScreenContextResolver
}  // namespace murmelo
