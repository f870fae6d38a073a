#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// What the focused field shows against what the keys typed: the layout the key stream
// produced and the layout the screen shows the same word in.
struct ScreenTruthVerdict {
    QString stream;
    QString screen;
    bool operator==(const ScreenTruthVerdict&) const = default;
};

// The pure comparisons of screen truth. Main thread (they read the layout maps).
namespace LayoutScreenTruth {

// "ru" when the text's letters are Cyrillic only, "en" when basic Latin only; else nothing.
std::optional<QString> script(const QString& text);
// The verdict that the field shows the buffered word retyped in the other layout.
std::optional<ScreenTruthVerdict> verdict(const QString& buffer, const QString& field, bool enabled);
// The word as the screen would show it under the verdict.
QString onScreen(const QString& word, const std::optional<ScreenTruthVerdict>& verdict);

}  // namespace LayoutScreenTruth
}  // namespace murmelo
