#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// Where the text a reply is composed from came from. The raw values are the Russian words the
// user sees in the log and the preview, and they are sent as the request's context source.
enum class ScreenContextSource { axSelection, axWindow, ocr, clipboard };
QString rawValue(ScreenContextSource source);
std::optional<ScreenContextSource> screenContextSourceFromRaw(const QString& raw);
// Text gathered from a whole window (its accessibility tree or a capture) rather than what the
// user selected: it may name people who are not the recipient.
bool isWholeWindow(ScreenContextSource source);

}  // namespace murmelo
