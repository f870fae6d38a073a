#pragma once
#include "ai/QuickReplyResult.h"
#include "reply/ScreenContext.h"

#include <QString>
#include <optional>

namespace murmelo {

enum class ReplyTaskKind;

// A reply composed from a whole window's text must not greet or sign with a name seen in the
// window: inbox rows, sidebars and quoted history do not say who the correspondent is. Only
// replies from window text or a window capture are guarded; a selection or the clipboard is
// what the user chose. Pure functions, any thread.
namespace ReplyPersonalizationGuard {

inline const QString GREETING_WARNING =
    QStringLiteral("Имя в обращении убрано: текст всего окна не подтверждает адресата.");
inline const QString SIGN_OFF_WARNING =
    QStringLiteral("Имя в подписи убрано или заменено на настроенную подпись.");

// The model's side: tells it not to address anyone by name; empty where nothing is guarded.
QString promptRule(const std::optional<ScreenContextSource>& contextSource, ReplyTaskKind task);
// The reply's side: a named greeting becomes a neutral one, a name under a sign-off goes or
// becomes the configured signature. A changed reply asks for confirmation and says why.
QuickReplyResult apply(const QuickReplyResult& result, ScreenContextSource contextSource, ReplyTaskKind task,
                       const QString& configuredSignature);

// The pieces, for their tests.
bool looksLikeName(const QString& text);
std::optional<QString> neutralizedNamedGreeting(const QString& line);
std::optional<QString> neutralizedInlineSignOff(const QString& line, const QString& configuredSignature);
// Case and diacritics ignored: canonical decomposition without its combining marks, then
// case folding.
QString fold(const QString& text);

}  // namespace ReplyPersonalizationGuard

}  // namespace murmelo
