#pragma once
#include "ui/StatusMenu.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace murmelo {

// One line of a history submenu as tests see it.
struct SubmenuEntry {
    enum class Action { none, pasteHistory, clearHistory, pasteClip, openClipboardSettings };
    QString title;
    QString toolTip;
    QString representedObject;
    Action action = Action::none;
    bool enabled = true;
    bool separator = false;
    bool operator==(const SubmenuEntry&) const = default;
};

// What the state hub does with the status menu after it is built: refills the submenus of
// recent dictations and clipboard items as they open, updates the status lines, and
// pastes a picked text back into the application that was in front before.
namespace StatusMenus {

inline constexpr int historyTitleLimit = 60;
inline constexpr int clipboardTitleLimit = 58;
inline constexpr int clipboardEntries = 15;
inline const QString historyKey = QStringLiteral("dictationHistory");

// Line feeds become spaces; beyond the limit the first (limit - 3) characters and "…".
QString shortened(const QString& text, int limit);

QStringList dictationHistory();
QList<SubmenuEntry> historyMenuModel();
QList<SubmenuEntry> clipboardMenuModel();

void rebuildHistoryMenu();
void rebuildClipboardMenu();
void clearHistory();
void pasteHistory(const QVariant& representedObject);
void pasteClip(const QVariant& representedObject);
void openClipboardSettings();
// Inserts the text into the application that was in front before the menu or panel
// took the focus; never into whatever else happens to be in front.
void pasteReturningFocus(const QString& text, const QString& source);
void menuWillOpen();
void refreshTapFuseItem();

// Connects the hub's menus: the application menu's opening and the submenus' refills.
void attach();

}  // namespace StatusMenus

// The status menu's services that the input layer answers: hotkey names, the breaker line
// and the two history submenus.
class InputMenuServices : public StatusMenuServices {
public:
    QString currentHotkeyName() const override;
    QString commandHotkeyName() const override;
    QString polishHotkeyName() const override;
    bool hasActivePolishHotkey() const override;
    void refreshTapFuseItem() override { StatusMenus::refreshTapFuseItem(); }
    void rebuildHistoryMenu() override { StatusMenus::rebuildHistoryMenu(); }
    void rebuildClipboardMenu() override { StatusMenus::rebuildClipboardMenu(); }
};

}  // namespace murmelo
