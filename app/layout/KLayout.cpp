#include "layout/KLayout.h"

namespace murmelo {

KLayout::KLayout(QString language_, QString name_, const QList<std::pair<char32_t, char32_t>>& base_,
                 const QList<std::pair<char32_t, char32_t>>& shift_)
    : language(std::move(language_)), name(std::move(name_)) {
    for (const auto& [legend, c] : base_) {
        base.insert(legend, c);
        if (!reverse.contains(c)) reverse.insert(c, {legend, false});
    }
    for (const auto& [legend, c] : shift_) {
        shift.insert(legend, c);
        if (!reverse.contains(c)) reverse.insert(c, {legend, true});
    }
}

}  // namespace murmelo
