#pragma once
#include <QSet>
#include <QString>

namespace murmelo {

// Whether the switcher has its two languages at all: the Russian layout among the enabled
// input sources. Asked on every key, so the answer is kept until the enabled sources change.
namespace TypingFixLanguages {

// False when MURMELO_NO_CYRILLIC_LAYOUT is "1", whatever is enabled.
bool isAvailable();
// Identifiers of the enabled input sources; empty when they cannot be read.
QSet<QString> enabledSourceIDs();

}  // namespace TypingFixLanguages
}  // namespace murmelo
