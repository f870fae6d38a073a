#pragma once
#include <QString>

namespace murmelo::linuxdesktop {

// AT-SPI counts text in characters (code points); the core counts UTF-16 code units.
// Offsets past the end clamp to the end; a UTF-16 offset inside a surrogate pair counts
// the pair's character as not yet reached.
qsizetype utf16FromCharacters(const QString& text, qsizetype characters);
qsizetype charactersFromUtf16(const QString& text, qsizetype utf16);

}  // namespace murmelo::linuxdesktop
