#pragma once
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace murmelo {

// What the status menu needs of the subsystems it opens and switches. Each default does
// the least that is meaningful before its subsystem exists: switches read and write their
// setting, windows do nothing; the owning subsystem installs its own implementation.
class StatusMenuServices {
public:
    virtual ~StatusMenuServices() = default;

    // Hotkeys (the input layer).
    virtual QString currentHotkeyName() const { return {}; }
    virtual QString commandHotkeyName() const { return {}; }
    virtual QString polishHotkeyName() const { return {}; }
    virtual bool hasActivePolishHotkey() const { return false; }

    // Layout switcher.
    virtual bool typingFixLanguagesAvailable() const { return false; }
    virtual bool layoutSwitchEnabled() const;
    virtual void setLayoutSwitchEnabled(bool on);
    virtual bool layoutSwitchSoundEnabled() const;
    virtual void setLayoutSwitchSoundEnabled(bool on);

    // Polish, Quick Actions, screen reply.
    virtual bool isPolishEnabled() const;
    virtual void setPolishEnabled(bool on);
    virtual bool isQuickActionsEnabled() const;
    virtual void setQuickActionsEnabled(bool on);
    virtual bool screenReplyOCREnabled() const;
    virtual void setScreenReplyOCREnabled(bool on);
    virtual bool windowOCRHasPermission() const { return true; }
    virtual bool requestWindowOCRPermission() { return windowOCRHasPermission(); }
    virtual void openScreenCaptureSettings() {}

    // Dictation clean-up modes, in their own order: raw value, title, subtitle.
    struct CleanupMode {
        QString rawValue, title, subtitle;
    };
    virtual QList<CleanupMode> cleanupModes() const;
    virtual QString currentCleanupMode() const;
    virtual void setCleanupMode(const QString& rawValue);

    // Windows and dialogs.
    virtual void openSettings() {}
    virtual void openMeetings() {}
    virtual void openSettingsHistory() {}
    virtual void openQuickReplySettings() {}
    virtual void showCorrection() {}
    virtual void showRules() {}
    virtual void showCleanupStatus() {}

    // The state hub's menu logic: status lines and the two history submenus.
    virtual void refreshTapFuseItem() {}
    virtual void refreshRivalItem() {}
    virtual void rebuildHistoryMenu() {}
    virtual void rebuildClipboardMenu() {}

    // The application's terminate request (confirmed by the quit flow once it exists).
    virtual void terminate();
    // Set by the application's quit flow, which lives above the menu.
    static std::function<void()>& quitRequest();

    static StatusMenuServices& shared();
    static void install(StatusMenuServices* services);
};

// One line of the status menu as tests see it: everything but the drawing.
struct MenuEntry {
    QString name;    // the action, or the item's role ("modelItem", "header", ...)
    QString title;
    QString icon;    // symbol name; empty for none
    QString shortcut;
    QString representedObject;
    bool separator = false;
    bool enabled = true;
    bool hidden = false;
    bool checkable = false;
    bool checked = false;
    bool smallSecondary = false;  // 11-point secondary text
    QList<MenuEntry> submenu;
    bool hasSubmenu = false;
};

// The status menu: built once from its model and handed to the state hub, which opens it
// from the status item. Its check marks are read afresh every time it opens, so a switch
// changed elsewhere never shows stale.
class StatusMenu : public QObject {
    Q_OBJECT
public:
    explicit StatusMenu(QObject* parent = nullptr);
    ~StatusMenu() override;

    // The menu as it would be built now.
    static QList<MenuEntry> model();
    // Builds the menu once and stores it and its dynamic items in AppState.
    QMenu* build();
    QMenu* menu() const { return menu_; }
    QAction* action(const QString& name) const { return actions_.value(name); }
    // The check marks (and the title that follows one of them) from the current settings.
    void refreshChecks();

    // Actions; the sender is the menu item.
    void openPrefs();
    void openMeetings();
    void openClipboard();
    void openQuickReplySettings();
    void openLastDictationCorrection();
    void openLearnedCorrections();
    void openSmartCleanupLearning();
    void toggleLayoutSwitch(QAction* sender);
    void toggleLayoutSound(QAction* sender);
    void togglePolish(QAction* sender);
    void toggleQuickActions(QAction* sender);
    void toggleScreenReplyOCR(QAction* sender);
    void selectSmartCleanupMode(QAction* sender);
    void refreshCleanupModeItems();

    QMap<QString, QAction*> cleanupModeItems;

private:
    void fill(QMenu* menu, const QList<MenuEntry>& entries);
    void connectAction(QAction* action, const QString& name);

    QMenu* menu_ = nullptr;  // owned
    QMap<QString, QAction*> actions_;
};

}  // namespace murmelo
