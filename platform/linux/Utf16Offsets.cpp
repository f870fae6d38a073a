#include "linux/Utf16Offsets.h"

namespace murmelo::linuxdesktop {

qsizetype utf16FromCharacters(const QString& text, qsizetype characters) {
    qsizetype i = 0;
    for (qsizetype c = 0; c < characters && i < text.size(); ++c)
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
    return i;
}

qsizetype charactersFromUtf16(const QString& text, qsizetype utf16) {
    qsizetype chars = 0;
    qsizetype i = 0;
    const qsizetype end = std::min(utf16, text.size());
    while (i < end) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair && i + 2 > end) break;
        i += pair ? 2 : 1;
        ++chars;
    }
    return chars;
}

}  // namespace murmelo::linuxdesktop
