#include "vocabulary/CorrectionsMenuSection.h"

#include "base/Localization.h"
#include "ui/CoreMenuSections.h"

namespace murmelo {

QList<MenuEntry> CorrectionsMenuSection::entries() const {
    return {MenuEntry::item("openLastDictationCorrection", L("menu.fixLast", "Исправить последнюю диктовку…"),
                            "character.cursor.ibeam"),
            MenuEntry::item("openLearnedCorrections", L("menu.learnedFixes", "Запомненные исправления…"),
                            "text.badge.checkmark")};
}

void CorrectionsMenuSection::trigger(const QString& name, QAction*) {
    const bool last = name == QStringLiteral("openLastDictationCorrection");
    const std::function<void()>& show = last ? showCorrection : showRules;
    if (show) {
        show();
        return;
    }
    logMenuLineUnavailable(last ? L("menu.fixLast", "Исправить последнюю диктовку…")
                                : L("menu.learnedFixes", "Запомненные исправления…"));
}

}  // namespace murmelo
