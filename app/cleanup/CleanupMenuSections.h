#pragma once
#include "ui/StatusMenu.h"

#include <QMap>
#include <functional>

namespace murmelo {

// The clean-up self-test window, offered in work builds only.
class CleanupSelfTestMenuSection : public StatusMenuSection {
public:
    CleanupSelfTestMenuSection();
    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    std::function<void()> showCleanupStatus;
};

// The clean-up mode submenu: one check mark among the modes, and the spoken one-phrase hints.
class CleanupModeMenuSection : public StatusMenuSection {
public:
    // In their own order: raw value, title, subtitle.
    struct Mode {
        QString rawValue, title, subtitle;
    };
    static QList<Mode> modes();
    static QString currentMode();

    QList<MenuEntry> entries() const override;
    void trigger(const QString& name, QAction* sender) override;
    void built(StatusMenu& menu) override;
    void refresh(StatusMenu& menu) override;

    // A chosen item: its represented object must be a known mode's raw value.
    void select(QAction* sender);
    void refreshModeItems();

    QMap<QString, QAction*> modeItems;
};

}  // namespace murmelo
