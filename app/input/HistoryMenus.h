#pragma once
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

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

// The history and clipboard submenus of the status menu, and what the state hub does with the menu after it is built: refills the submenus of
// recent dictations and clipboard items as they open, updates the status lines, and
// pastes a picked text back into the application that was in front before.
namespace HistoryMenus {

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
// What opening the clipboard settings does; the settings window lives above the input layer.
std::function<void()>& openClipboardSettingsHandler();
// Inserts the text into the application that was in front before the menu or panel
// took the focus; never into whatever else happens to be in front.
void pasteReturningFocus(const QString& text, const QString& source);
void menuWillOpen();
void refreshTapFuseItem();

// Connects the hub's menus: the application menu's opening and the submenus' refills.
void attach();

}  // namespace HistoryMenus

}  // namespace murmelo
