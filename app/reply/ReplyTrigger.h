#pragma once
#include "dictation/DictationNeighbours.h"

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace murmelo {

// Whether a finished dictation is a screen-reply command, which task it asks for and what the
// spoken instruction is. Main thread; keeps no state but the sorted phrase table.
namespace ReplyTrigger {

// The instruction of a reply trigger spoken with nothing after it.
inline const QString defaultIntent = QStringLiteral("Напиши уместный короткий ответ по существу сообщения.");

struct Phrase {
    QString phrase;  // lower case
    ReplyTaskKind kind;
};
// Longest first, so that "ответь на это письмо" wins over "ответь"; equal lengths keep their
// listed order.
const QList<Phrase>& phrases();
// Other vendors' assistants, lower case: a trigger spoken there is addressed to them.
const QSet<QString>& assistantApps();

// An ordinary dictation: a command only when it begins with a trigger phrase, and never in an
// assistant application.
std::optional<ReplyCommand> detect(const QString& text, const std::optional<QString>& app);
// A command-key dictation: every non-blank one is a command, "auto" without a trigger phrase.
std::optional<ReplyCommand> byKey(const QString& text);
bool isAssistantApp(const std::optional<QString>& bundleID);

}  // namespace ReplyTrigger

}  // namespace murmelo
