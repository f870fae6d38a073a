#include "input/HistoryMenus.h"
#include "base/Graphemes.h"

#include "ui/AppState.h"
#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "input/HotkeyDef.h"
#include "input/SecureInput.h"
#include "input/TapFuse.h"
#include "input/TextWriteTrace.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QCoreApplication>
#include <QMenu>

namespace murmelo {
namespace HistoryMenus {
namespace {

constexpr double kPasteDelay = 0.15;
constexpr int kLoggedCharacters = 40;

bool isThisProcess(const AppIdentity& app) { return app.pid == QCoreApplication::applicationPid(); }

void fill(QMenu* menu, const QList<SubmenuEntry>& entries) {
    menu->clear();
    menu->setToolTipsVisible(true);
    for (const SubmenuEntry& e : entries) {
        if (e.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(e.title);
        a->setEnabled(e.enabled);
        if (!e.toolTip.isEmpty()) a->setToolTip(e.toolTip);
        if (!e.representedObject.isEmpty()) a->setData(e.representedObject);
        const SubmenuEntry::Action action = e.action;
        QObject::connect(a, &QAction::triggered, a, [a, action] {
            switch (action) {
            case SubmenuEntry::Action::pasteHistory: pasteHistory(a->data()); break;
            case SubmenuEntry::Action::clearHistory: clearHistory(); break;
            case SubmenuEntry::Action::pasteClip: pasteClip(a->data()); break;
            case SubmenuEntry::Action::openClipboardSettings: openClipboardSettings(); break;
            case SubmenuEntry::Action::none: break;
            }
        });
    }
}

}  // namespace

QString shortened(const QString& text, int limit) {
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (graphemeCount(flat) <= limit) return flat;
    return firstGraphemes(flat, limit - 3) + QStringLiteral("…");
}

// A list with anything but texts in it is no history at all; the next addition replaces it.
QStringList dictationHistory() { return Defaults::shared().stringListValue(historyKey); }

QList<SubmenuEntry> historyMenuModel() {
    const QStringList history = dictationHistory();
    if (history.isEmpty()) return {SubmenuEntry{L(QStringLiteral("menu.history.empty"), QStringLiteral("пусто")), {}, {},
                                                SubmenuEntry::Action::none, false}};
    QList<SubmenuEntry> m;
    for (const QString& text : history)
        m << SubmenuEntry{shortened(text, historyTitleLimit), text, text, SubmenuEntry::Action::pasteHistory};
    m << SubmenuEntry{{}, {}, {}, SubmenuEntry::Action::none, true, true};
    m << SubmenuEntry{L(QStringLiteral("menu.history.clear"), QStringLiteral("Очистить историю")), {}, {},
                      SubmenuEntry::Action::clearHistory};
    return m;
}

QList<SubmenuEntry> clipboardMenuModel() {
    const auto& items = ClipboardManager::shared().items();
    if (items.empty()) return {SubmenuEntry{L(QStringLiteral("menu.clipboard.empty"), QStringLiteral("пусто")), {}, {},
                                            SubmenuEntry::Action::none, false}};
    QList<SubmenuEntry> m;
    for (size_t i = 0; i < items.size() && i < size_t(clipboardEntries); ++i) {
        const ClipItem& item = items[i];
        const QString title = shortened(item.text, clipboardTitleLimit);
        m << SubmenuEntry{item.pinned ? QStringLiteral("📌 ") + title : title, item.text, item.id,
                          SubmenuEntry::Action::pasteClip};
    }
    m << SubmenuEntry{{}, {}, {}, SubmenuEntry::Action::none, true, true};
    m << SubmenuEntry{L(QStringLiteral("menu.clipboard.open"), QStringLiteral("Открыть историю буфера…")), {}, {},
                      SubmenuEntry::Action::openClipboardSettings};
    return m;
}

void rebuildHistoryMenu() {
    if (QMenu* menu = AppState::shared().historyMenu) fill(menu, historyMenuModel());
}

void rebuildClipboardMenu() {
    if (QMenu* menu = AppState::shared().clipboardMenu) fill(menu, clipboardMenuModel());
}

void clearHistory() {
    Defaults::shared().remove(historyKey);
    rebuildHistoryMenu();
    logLine(QStringLiteral("история очищена"));
}

void pasteHistory(const QVariant& representedObject) {
    if (representedObject.typeId() != QMetaType::QString) return;
    pasteReturningFocus(representedObject.toString(), QStringLiteral("истории"));
}

void pasteClip(const QVariant& representedObject) {
    if (representedObject.typeId() != QMetaType::QString) return;
    const QString id = representedObject.toString();
    ClipboardManager& manager = ClipboardManager::shared();
    QString text;
    bool found = false;
    for (const ClipItem& item : manager.items())
        if (item.id == id) {
            text = item.text;
            found = true;
        }
    if (!found) return;  // the history changed since the menu was built
    manager.markUsed(id);
    pasteReturningFocus(text, QStringLiteral("буфера"));
}

std::function<void()>& openClipboardSettingsHandler() {
    static std::function<void()> handler;
    return handler;
}

void openClipboardSettings() {
    if (openClipboardSettingsHandler()) {
        openClipboardSettingsHandler()();
        return;
    }
    logLine(QStringLiteral("буфер: окна настроек в этой сборке нет"));
}

void pasteReturningFocus(const QString& text, const QString& source) {
    Workspace& workspace = Workspace::shared();
    const std::optional<AppIdentity> target = AppState::shared().frontAppBeforeMenu;
    if (target) {
        // The application the text was meant for has quit: whatever is in front now (this
        // program's own window, most likely) did not ask for it.
        if (!workspace.isRunning(*target)) {
            logLine(QStringLiteral("вставка из ") + source + QStringLiteral(": ") +
                    (target->localizedName.isEmpty() ? QStringLiteral("приложение") : target->localizedName) +
                    QStringLiteral(" закрыто — ничего не вставляю"));
            return;
        }
        const auto front = workspace.frontmostApplication();
        if (!front || *front != *target) {
            workspace.activate(*target);
            logLine(QStringLiteral("вставка из ") + source + QStringLiteral(": фокус возвращён в ") +
                    (target->localizedName.isEmpty() ? QStringLiteral("приложение") : target->localizedName));
        }
    }
    MainQueue::shared().after(kPasteDelay, [text, source, target] {
        const auto front = Workspace::shared().frontmostApplication();
        const bool wrongFront = !front || isThisProcess(*front) || (target && *front != *target);
        if (wrongFront) {
            logLine(QStringLiteral("вставка из ") + source + QStringLiteral(": впереди не то приложение — ничего не вставляю"));
            return;
        }
        pasteViaClipboard(text, TextWriteOrigin::history);
    });
    logLine(QStringLiteral("из ") + source + QStringLiteral(" вставлено: ") + priv(firstGraphemes(text, kLoggedCharacters)));
}

void refreshTapFuseItem() {
    QAction* item = AppState::shared().tapFuseItem;
    if (!item) return;
    const auto line = TapFuse::menuLine();
    item->setText(line.value_or(QString()));
    item->setVisible(line.has_value());
}

void menuWillOpen() {
    AppState& hub = AppState::shared();
    hub.rememberFrontApp();
    if (hub.secureInputItem) hub.secureInputItem->setVisible(SecureInput::flagActive());
    refreshTapFuseItem();
}

void attach() {
    AppState& hub = AppState::shared();
    if (hub.appMenu) QObject::connect(hub.appMenu, &QMenu::aboutToShow, hub.appMenu, [] { menuWillOpen(); });
    if (hub.historyMenu) QObject::connect(hub.historyMenu, &QMenu::aboutToShow, hub.historyMenu, [] { rebuildHistoryMenu(); });
    if (hub.clipboardMenu)
        QObject::connect(hub.clipboardMenu, &QMenu::aboutToShow, hub.clipboardMenu, [] { rebuildClipboardMenu(); });
    SecureInput::setPresentationObserver([](bool active) {
        AppState& h = AppState::shared();
        if (h.secureInputItem) h.secureInputItem->setVisible(active);
        if (h.item) h.item->tray().setToolTip(active ? SecureInput::menuTitle() : h.item->title());
    });
}

}  // namespace HistoryMenus

}  // namespace murmelo
