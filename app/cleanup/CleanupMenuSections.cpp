#include "cleanup/CleanupMenuSections.h"

#include "base/BuildStamp.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "cleanup/SmartCleanupLearningController.h"
#include "cleanup/SmartCleanupMode.h"
#include "ui/CoreMenuSections.h"

#include <QAction>

namespace murmelo {

CleanupSelfTestMenuSection::CleanupSelfTestMenuSection()
    : showCleanupStatus([] { SmartCleanupLearningController::shared().showStatus(); }) {}

QList<MenuEntry> CleanupSelfTestMenuSection::entries() const {
    if (!BuildStamp::isWork()) return {};
    return {MenuEntry::item("openSmartCleanupLearning",
                            L("menu.smartCleanupSelfTest", "Обработка диктовки: самопроверка…"), "checkmark.shield")};
}

void CleanupSelfTestMenuSection::trigger(const QString&, QAction*) {
    runMenuAction(showCleanupStatus, L("menu.smartCleanupSelfTest", "Обработка диктовки: самопроверка…"));
}

QList<CleanupModeMenuSection::Mode> CleanupModeMenuSection::modes() {
    QList<Mode> out;
    for (SmartCleanupMode mode : SmartCleanupModes::allCases()) {
        out.append({SmartCleanupModes::rawValue(mode), SmartCleanupModes::title(mode), SmartCleanupModes::subtitle(mode)});
    }
    return out;
}

QString CleanupModeMenuSection::currentMode() { return SmartCleanupModes::rawValue(currentSmartCleanupMode()); }

QList<MenuEntry> CleanupModeMenuSection::entries() const {
    MenuEntry cleanup = MenuEntry::item("cleanupMenu", L("menu.dictationProcessing", "Обработка диктовки"),
                                        "text.line.first.and.arrowtriangle.forward");
    cleanup.hasSubmenu = true;
    const QString current = currentMode();
    for (const Mode& mode : modes()) {
        MenuEntry e = MenuEntry::toggle("selectSmartCleanupMode", mode.title + QStringLiteral(" — ") + mode.subtitle,
                                        {}, mode.rawValue == current);
        e.representedObject = mode.rawValue;
        cleanup.submenu << e;
    }
    cleanup.submenu << MenuEntry::separatorLine();
    for (const char* hint : {"Голосом на одну фразу:", "  «со знаками …» — знаки препинания словами",
                             "  «списком …» — пронумеровать пункты", "  «дословно …» — ничего не менять"}) {
        MenuEntry e = MenuEntry::disabled("cleanupHint", QString::fromUtf8(hint));
        e.smallSecondary = true;
        cleanup.submenu << e;
    }
    return {cleanup};
}

void CleanupModeMenuSection::trigger(const QString& name, QAction* sender) {
    if (name == QStringLiteral("selectSmartCleanupMode")) select(sender);
}

void CleanupModeMenuSection::built(StatusMenu& menu) {
    modeItems.clear();
    for (QAction* a : menu.actions("selectSmartCleanupMode")) modeItems.insert(a->data().toString(), a);
    refreshModeItems();
}

void CleanupModeMenuSection::refresh(StatusMenu&) { refreshModeItems(); }

void CleanupModeMenuSection::select(QAction* sender) {
    const QVariant data = sender->data();
    if (data.typeId() != QMetaType::QString) return;
    const QString raw = data.toString();
    const std::optional<SmartCleanupMode> mode = SmartCleanupModes::fromRawValue(raw);
    if (!mode) return;
    setSmartCleanupMode(*mode);
    refreshModeItems();
    logLine(QStringLiteral("Smart Cleanup: режим ") + raw);
}

void CleanupModeMenuSection::refreshModeItems() {
    const QString current = currentMode();
    for (auto it = modeItems.begin(); it != modeItems.end(); ++it) it.value()->setChecked(it.key() == current);
}

}  // namespace murmelo
