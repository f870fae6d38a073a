#include "layout/LayoutMenuSections.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "layout/InputRivals.h"
#include "layout/LayoutSwitchSound.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherHost.h"

#include <QAction>

namespace murmelo {
namespace {

const QString LAYOUT_SWITCH_KEY = QStringLiteral("layoutSwitchEnabled");

QString onOff(bool on) { return on ? QStringLiteral("вкл") : QStringLiteral("выкл"); }

}  // namespace

QList<MenuEntry> RivalMenuSection::entries() const {
    const std::optional<QString> line = InputRivals::menuLine();
    return {MenuEntry::disabled("rivalItem", line.value_or(QString()), "keyboard.badge.ellipsis", !line)};
}

void RivalMenuSection::refresh(StatusMenu& menu) {
    InputRivals::report(false);
    if (QAction* item = menu.action("rivalItem")) {
        const std::optional<QString> line = InputRivals::menuLine();
        item->setText(line.value_or(QString()));
        item->setVisible(line.has_value());
    }
}

bool LayoutMenuSection::HostSwitcher::typingFixLanguagesAvailable() {
    return LayoutSwitcher::typingFixLanguagesAvailable();
}
bool LayoutMenuSection::HostSwitcher::layoutSwitchEnabled() { return LayoutSwitcherHost::shared().isEnabled(); }

bool LayoutMenuSection::layoutSwitchSoundEnabled() {
    return LayoutSwitchSound::isEnabled();
}

QList<MenuEntry> LayoutMenuSection::entries() const {
    if (!switcher_.typingFixLanguagesAvailable()) return {};
    return {MenuEntry::toggle("toggleLayoutSwitch", L("menu.autoLayout", "Смена раскладки"), "keyboard",
                              switcher_.layoutSwitchEnabled()),
            MenuEntry::toggle("toggleLayoutSound", L("menu.layoutSound", "└ звук при переключении"), {},
                              layoutSwitchSoundEnabled())};
}

void LayoutMenuSection::trigger(const QString& name, QAction* sender) {
    if (name == QStringLiteral("toggleLayoutSwitch")) {
        // The engine watches its setting and loads its models when switched on.
        const bool on = !switcher_.layoutSwitchEnabled();
        Defaults::shared().set(LAYOUT_SWITCH_KEY, on);
        sender->setChecked(on);
        logLine(QStringLiteral("авто-раскладка: ") + onOff(on));
    } else if (name == QStringLiteral("toggleLayoutSound")) {
        const bool on = !layoutSwitchSoundEnabled();
        LayoutSwitchSound::setEnabled(on);
        sender->setChecked(on);
        logLine(QStringLiteral("звук переключения раскладки: ") + onOff(on));
    }
}

void LayoutMenuSection::refresh(StatusMenu& menu) {
    if (QAction* a = menu.action("toggleLayoutSwitch")) a->setChecked(switcher_.layoutSwitchEnabled());
    if (QAction* a = menu.action("toggleLayoutSound")) a->setChecked(layoutSwitchSoundEnabled());
}

}  // namespace murmelo
