#pragma once
#include <QPalette>

namespace murmelo {

// The application's palette for the chosen window theme. Our windows and floating cards read
// the application palette; the tray icon sits on the desktop's panel, so it reads the palette
// the desktop gave us, which is kept aside before the first change.
namespace AppPalette {

void setDark(bool dark);
// What our windows show now.
bool isDark();
// The palette before the program set one (the current one while it has set none).
QPalette desktopPalette();
bool desktopIsDark();
// Whether a palette's window colour is a dark one.
bool isDarkPalette(const QPalette& palette);

}  // namespace AppPalette
}  // namespace murmelo
