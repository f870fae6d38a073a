#pragma once
#include "cleanup/SmartCleanupMode.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace murmelo {

// A short lead phrase that picks the clean-up mode of one dictation ("дословно, …").
namespace DictationModeTrigger {

struct Trigger {
    QString phrase;  // lower case
    SmartCleanupMode mode;
};

struct Detection {
    SmartCleanupMode mode;
    QString rest;
    bool operator==(const Detection&) const = default;
};

// In matching order.
const QList<Trigger>& russian();
const QMap<QString, QList<Trigger>>& byLanguage();

// The phrases that apply: the Russian ones without a language; for a code (region cut off)
// only when the text, if given, reads as that language.
QList<Trigger> triggers(const std::optional<QString>& language, const std::optional<QString>& text);
// The mode and the text without the phrase; nothing when the text does not open with a
// phrase or holds nothing else.
std::optional<Detection> detect(const QString& text, const std::optional<QString>& language);

}  // namespace DictationModeTrigger

}  // namespace murmelo
