#pragma once
#include "layout/KLayout.h"

#include <QStringList>
#include <optional>

namespace murmelo {

// The US English and Russian layouts as read from the installed layouts, once per process:
// which character each key gives, and what a text would have been had the same keys been
// typed on the other layout. Layouts are named by language code, "en" and "ru".
namespace LayoutMaps {

// The layouts that could be read: "en" and "ru" normally.
const QHash<QString, KLayout>& layouts();
// Their language codes, "en" before "ru".
const QStringList& layoutOrder();

// The language of the table's entry under that name, else the name itself.
QString languageOf(const QString& name);
// The key, and whether Shift is needed, that produces the character on the layout.
std::optional<KeyStroke> forward(char32_t character, const QString& language);
// What the key gives on the layout, with or without Shift.
std::optional<char32_t> produce(char32_t legend, bool shift, const QString& language);
// The same keystrokes read on the other layout; nothing as soon as one character cannot be
// typed on the first layout or produced on the second: never a partial result.
std::optional<QString> convert(const QString& text, const QString& from, const QString& to);

// Reads the installed layouts again at the next use, so that a test's simulated keyboard
// is the one read. Not for use while other threads read the maps.
void resetForTesting();

}  // namespace LayoutMaps
}  // namespace murmelo
