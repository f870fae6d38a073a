#pragma once
#include "ui/OrbShape.h"
#include "ui/Presence.h"
#include "platform/Workspace.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace murmelo {

// The status item in the desktop's tray: the orb icon and a title. Trays show no text
// beside an icon, so the title goes into the tool tip.
class StatusItem : public QObject {
    Q_OBJECT
public:
    StatusItem();
    ~StatusItem() override;

    void setMode(const OrbIconMode& mode);
    OrbIconMode mode() const { return mode_; }
    void setTitle(const QString& title);
    QString title() const { return title_; }
    QIcon icon() const;
    // Where the tray shows the item on screen (empty when it does not tell).
    QRect geometry() const;
    QSystemTrayIcon& tray() { return *tray_; }

signals:
    // A left or right click, with the keyboard modifiers held at the time.
    void clicked(bool rightMouse, Qt::KeyboardModifiers modifiers);

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    OrbIconMode mode_;
    QString title_;
};

// The one object that knows what the user should see of the dictation pipeline now. Other
// subsystems call its state setters; it drives the status item, the ladder and the drop.
class AppState : public QObject {
    Q_OBJECT
public:
    // The presence subsystem supplies its indicators through the factory; without one the
    // hub gets indicators that do nothing.
    using PresenceFactory =
        std::function<std::pair<std::unique_ptr<LadderPresence>, std::unique_ptr<DropPresence>>()>;
    static void setPresenceFactory(PresenceFactory factory);

    explicit AppState(std::unique_ptr<LadderPresence> ladder = nullptr, std::unique_ptr<DropPresence> drop = nullptr);
    ~AppState() override;
    static AppState& shared();

    // How long a failure look stays before the icon and the ladder return to rest.
    static constexpr double FAILURE_FALLBACK_SECONDS = 4.0;

    std::unique_ptr<StatusItem> item;
    // The status menu and its dynamic lines, put here by whoever builds the menu.
    QPointer<QMenu> appMenu;
    QPointer<QAction> modelItem;
    QPointer<QAction> secureInputItem;
    QPointer<QAction> tapFuseItem;
    QPointer<QAction> rivalItem;
    QPointer<QMenu> historyMenu;
    QPointer<QMenu> clipboardMenu;
    LadderPresence& ladder() { return *ladder_; }
    DropPresence& drop() { return *drop_; }
    // The last other application in front when the status menu or quick panel opened.
    std::optional<AppIdentity> frontAppBeforeMenu;

    // State setters (main thread); each bumps the generation first.
    void idle();
    void succeeded(bool cloud);
    void recording(const QString& app, const QIcon& icon);
    void recordingQuickReply();
    void generatingQuickReply();
    void transcribing(bool cloud);
    void transcribeFailed();
    void captureFailed();

    void ensureStatusItem();
    void removeStatusItem();
    // A click on the status item: right, or left with Control, opens the menu; a plain
    // left click toggles the quick panel.
    void statusItemClicked(bool rightMouse, Qt::KeyboardModifiers modifiers);
    void rememberFrontApp();

    // "barIconLit": only a stored real Boolean true counts.
    static bool barIconLit();
    qint64 generation() const { return indGen_; }

    // Opens the status menu at the status item; tests replace it.
    std::function<void(QMenu*)> openMenu;
    // Asked when the status item is made: whether the desktop has a tray to show it in.
    // The platform's answer logs a missing tray once; the process sets it.
    std::function<bool()> trayHostAvailable;

private:
    void setBar(const OrbIconMode& mode);
    void failed(const QColor& color);

    std::unique_ptr<LadderPresence> ladder_;
    std::unique_ptr<DropPresence> drop_;
    qint64 indGen_ = 0;
};

}  // namespace murmelo
