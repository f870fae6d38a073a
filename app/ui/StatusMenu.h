#pragma once
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QIcon;
class QMenu;

namespace murmelo {

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

    static MenuEntry item(const QString& name, const QString& title, const QString& icon = {});
    static MenuEntry disabled(const QString& name, const QString& title, const QString& icon = {}, bool hidden = false);
    static MenuEntry toggle(const QString& name, const QString& title, const QString& icon, bool checked);
    static MenuEntry separatorLine();
};

// The menu's fixed places, top to bottom. A separator stands before history, layout,
// meetings, settings and quit; every other place follows the one above it directly.
enum class StatusMenuPlace {
    header,
    model,
    inputStatus,
    rival,
    build,
    history,
    corrections,
    cleanupSelfTest,
    layout,
    cleanupMode,
    polish,
    quickActions,
    screenReply,
    meetings,
    settings,
    quit,
};

class StatusMenu;

// A part of the status menu that one subsystem owns: its lines and what they do. Several
// sections may share a place; they follow in the order they were added.
class StatusMenuSection {
public:
    virtual ~StatusMenuSection() = default;
    // The section's lines as they would be built now.
    virtual QList<MenuEntry> entries() const = 0;
    // One of its lines was chosen; the sender is the menu item.
    virtual void trigger(const QString& name, QAction* sender) { (void)name, (void)sender; }
    // The menu was built: hand items to whoever updates them later.
    virtual void built(StatusMenu& menu) { (void)menu; }
    // The menu is opening: check marks and titles are read afresh, so a switch changed
    // elsewhere never shows stale.
    virtual void refresh(StatusMenu& menu) { (void)menu; }
};

// A section's place in the menu for as long as the handle lives.
class StatusMenuRegistration {
public:
    StatusMenuRegistration() = default;
    StatusMenuRegistration(StatusMenuPlace place, StatusMenuSection* section);
    ~StatusMenuRegistration();
    StatusMenuRegistration(StatusMenuRegistration&& other) noexcept;
    StatusMenuRegistration& operator=(StatusMenuRegistration&& other) noexcept;
    StatusMenuRegistration(const StatusMenuRegistration&) = delete;
    StatusMenuRegistration& operator=(const StatusMenuRegistration&) = delete;

private:
    StatusMenuSection* section_ = nullptr;
};

// The status menu: built once from the sections and handed to the state hub, which opens
// it from the status item.
class StatusMenu : public QObject {
    Q_OBJECT
public:
    explicit StatusMenu(QObject* parent = nullptr);
    ~StatusMenu() override;

    // The menu as it would be built now from the sections added so far.
    static QList<MenuEntry> model();
    // Builds the menu once and stores it and its dynamic items in AppState.
    QMenu* build();
    QMenu* menu() const { return menu_; }
    QAction* action(const QString& name) const { return actions_.value(name); }
    // Every item of that name, in menu order (choices that share one action name).
    QList<QAction*> actions(const QString& name) const { return allActions_.value(name); }
    // Each section reads its check marks and titles afresh.
    void refreshChecks();

    // The platform's symbol names mapped to the desktop's icon theme.
    static QIcon symbolIcon(const QString& symbol);

private:
    void fill(QMenu* menu, const QList<MenuEntry>& entries, StatusMenuSection* owner);

    QMenu* menu_ = nullptr;  // owned
    QMap<QString, QAction*> actions_;
    QMap<QString, QList<QAction*>> allActions_;
};

}  // namespace murmelo
