#pragma once
#include <QSet>
#include <QString>

class QWidget;

namespace murmelo::RTL {

inline constexpr const char* forceKey = "forceRTL";
// Right-to-left language codes; the mirroring decision does not consult them.
const QSet<QString>& languages();

// "forceRTL" when stored (read as a Boolean), else the application's layout direction.
bool isActive();
// Mirrors a hand-built panel when isActive(): every child's x becomes the parent's width
// minus its old right edge, labels and fields swap left and right alignment, text views
// write right to left. Scroll areas mirror their content's children, not the content.
void apply(QWidget* view);

}  // namespace murmelo::RTL
