#include "ui/AppPalette.h"

#include <QApplication>
#include <optional>

namespace murmelo::AppPalette {

namespace {

std::optional<QPalette>& keptDesktopPalette() {
    static std::optional<QPalette> kept;
    return kept;
}

QPalette themed(bool dark) {
    const QColor window = dark ? QColor(0x26, 0x27, 0x2b) : QColor(0xf2, 0xf2, 0xf4);
    const QColor base = dark ? QColor(0x1d, 0x1e, 0x22) : QColor(0xff, 0xff, 0xff);
    const QColor text = dark ? QColor(0xf2, 0xf2, 0xf4) : QColor(0x1a, 0x1a, 0x1e);
    const QColor button = dark ? QColor(0x33, 0x35, 0x3a) : QColor(0xe8, 0xe8, 0xec);
    const QColor disabled = dark ? QColor(0x80, 0x82, 0x88) : QColor(0x9a, 0x9a, 0xa0);
    QPalette p(button, window);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7d, 0xf6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

}  // namespace

bool isDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

void setDark(bool dark) {
    if (!keptDesktopPalette()) keptDesktopPalette() = QGuiApplication::palette();
    QApplication::setPalette(themed(dark));
}

bool isDark() { return isDarkPalette(QGuiApplication::palette()); }

QPalette desktopPalette() { return keptDesktopPalette().value_or(QGuiApplication::palette()); }

bool desktopIsDark() { return isDarkPalette(desktopPalette()); }

}  // namespace murmelo::AppPalette
