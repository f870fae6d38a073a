#include "vocabulary/CorrectionsMenuSection.h"

#include "base/Localization.h"
#include "ui/CoreMenuSections.h"
#include "vocabulary/DictationLearningController.h"

namespace murmelo {

CorrectionsMenuSection::CorrectionsMenuSection()
    : showCorrection([] { DictationLearningController::shared().showCorrection(); }),
      showRules([] { DictationLearningController::shared().showRules(); }) {}

QList<MenuEntry> CorrectionsMenuSection::entries() const {
    return {MenuEntry::item("openLastDictationCorrection", L("menu.fixLast", "Исправить последнюю диктовку…"),
                            "character.cursor.ibeam"),
            MenuEntry::item("openLearnedCorrections", L("menu.learnedFixes", "Запомненные исправления…"),
                            "text.badge.checkmark")};
}

void CorrectionsMenuSection::trigger(const QString& name, QAction*) {
    if (name == QStringLiteral("openLastDictationCorrection"))
        runMenuAction(showCorrection, L("menu.fixLast", "Исправить последнюю диктовку…"));
    else
        runMenuAction(showRules, L("menu.learnedFixes", "Запомненные исправления…"));
}

}  // namespace murmelo
