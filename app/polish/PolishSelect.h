#pragma once
#include "platform/Accessibility.h"

#include <QString>
#include <optional>

namespace murmelo {

// The outcome of selecting a range in a field.
enum class PolishRangeSelect { done, empty, refused };

// Pure planning for selecting a range of a field: clamping, arrow-key plans from the caret,
// finding a selected text near where it was wanted, and judging a copied text. Ranges are
// UTF-16 units of the field's value; arrow presses count characters (grapheme clusters).
namespace PolishSelect {

inline constexpr qint64 MAX_KEYS = 400;
// How far a found text's end may miss the wanted end and still be the same place.
inline constexpr qint64 MAX_DRIFT = 8;

struct KeyPlan {
    qint64 move = 0;       // > 0: Right Arrow presses to the range's end; < 0: Left Arrow presses
    qint64 shiftLeft = 0;  // Shift-Left Arrow presses from the end to the start
    qint64 keys() const { return (move < 0 ? -move : move) + shiftLeft; }
    bool operator==(const KeyPlan&) const = default;
};

enum class CopyVerdict { match, matchIgnoringWhitespace, mismatch, empty };
QString log(CopyVerdict verdict);

AXRange clamp(AXRange range, qint64 length);
std::optional<KeyPlan> keyPlan(const QString& value, AXRange range, qint64 caret);
std::optional<qint64> anchor(const QString& selected, const QString& value, AXRange near);
CopyVerdict copyVerdict(const QString& expected, const std::optional<QString>& got);
bool gateAllows(CopyVerdict verdict);

}  // namespace PolishSelect
}  // namespace murmelo
