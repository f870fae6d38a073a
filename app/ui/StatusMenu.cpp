#include "ui/StatusMenu.h"

#include "ui/AppState.h"

#include <QAction>
#include <QHash>
#include <QIcon>
#include <QMenu>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace murmelo {
namespace {

struct Placed {
    StatusMenuPlace place;
    StatusMenuSection* section;
};

std::vector<Placed>& sections() {
    static std::vector<Placed> all;
    return all;
}

// Separators stand between groups of places.
int group(StatusMenuPlace place) {
    if (place < StatusMenuPlace::history) return 0;
    if (place < StatusMenuPlace::layout) return 1;
    if (place < StatusMenuPlace::meetings) return 2;
    if (place < StatusMenuPlace::settings) return 3;
    if (place < StatusMenuPlace::quit) return 4;
    return 5;
}

// Sections in menu order: by place, then in the order they were added.
std::vector<Placed> ordered() {
    std::vector<Placed> out = sections();
    std::stable_sort(out.begin(), out.end(), [](const Placed& a, const Placed& b) { return a.place < b.place; });
    return out;
}

}  // namespace

MenuEntry MenuEntry::item(const QString& name, const QString& title, const QString& icon) {
    MenuEntry e;
    e.name = name;
    e.title = title;
    e.icon = icon;
    return e;
}

MenuEntry MenuEntry::disabled(const QString& name, const QString& title, const QString& icon, bool hidden) {
    MenuEntry e = item(name, title, icon);
    e.enabled = false;
    e.hidden = hidden;
    return e;
}

MenuEntry MenuEntry::toggle(const QString& name, const QString& title, const QString& icon, bool checked) {
    MenuEntry e = item(name, title, icon);
    e.checkable = true;
    e.checked = checked;
    return e;
}

MenuEntry MenuEntry::separatorLine() {
    MenuEntry e;
    e.separator = true;
    return e;
}

StatusMenuRegistration::StatusMenuRegistration(StatusMenuPlace place, StatusMenuSection* section) : section_(section) {
    sections().push_back({place, section});
}

StatusMenuRegistration::~StatusMenuRegistration() {
    if (!section_) return;
    auto& all = sections();
    all.erase(std::remove_if(all.begin(), all.end(), [this](const Placed& p) { return p.section == section_; }),
              all.end());
}

StatusMenuRegistration::StatusMenuRegistration(StatusMenuRegistration&& other) noexcept
    : section_(std::exchange(other.section_, nullptr)) {}

StatusMenuRegistration& StatusMenuRegistration::operator=(StatusMenuRegistration&& other) noexcept {
    if (this != &other) {
        StatusMenuRegistration gone(std::move(*this));
        section_ = std::exchange(other.section_, nullptr);
    }
    return *this;
}

QIcon StatusMenu::symbolIcon(const QString& symbol) {
    static const QHash<QString, QString> themeNames = {
        {"lock.file", "changes-prevent"},
        {"exclamationmark.triangle", "dialog-warning"},
        {"keyboard.badge.ellipsis", "input-keyboard"},
        {"hammer", "applications-engineering"},
        {"mic", "audio-input-microphone"},
        {"doc.on.clipboard", "edit-paste"},
        {"character.cursor.ibeam", "format-text-bold"},
        {"text.badge.checkmark", "tools-check-spelling"},
        {"checkmark.shield", "security-high"},
        {"keyboard", "input-keyboard"},
        {"text.line.first.and.arrowtriangle.forward", "format-justify-left"},
        {"wand.and.stars", "tools-wizard"},
        {"selection.pin.in.out", "edit-select-all"},
        {"arrowshape.turn.up.left", "mail-reply-sender"},
        {"text.viewfinder", "camera-photo"},
        {"person.wave.2", "system-users"},
        {"gearshape", "preferences-system"},
        {"power", "application-exit"},
    };
    // A name the theme lacks leaves the item without an icon.
    const QString name = themeNames.value(symbol);
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

StatusMenu::StatusMenu(QObject* parent) : QObject(parent) {}

StatusMenu::~StatusMenu() { delete menu_; }

QList<MenuEntry> StatusMenu::model() {
    QList<MenuEntry> m;
    std::optional<int> previous;
    for (const Placed& p : ordered()) {
        if (previous && *previous != group(p.place)) m << MenuEntry::separatorLine();
        m << p.section->entries();
        previous = group(p.place);
    }
    return m;
}

void StatusMenu::fill(QMenu* menu, const QList<MenuEntry>& entries, StatusMenuSection* owner) {
    for (const MenuEntry& e : entries) {
        if (e.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(e.title);
        if (!e.icon.isEmpty()) a->setIcon(symbolIcon(e.icon));
        a->setEnabled(e.enabled);
        a->setVisible(!e.hidden);
        a->setCheckable(e.checkable);
        a->setChecked(e.checked);
        if (!e.shortcut.isEmpty()) a->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + e.shortcut.toUpper()));
        if (!e.representedObject.isEmpty()) a->setData(e.representedObject);
        if (e.smallSecondary) {
            QFont f = a->font();
            f.setPointSizeF(11);
            a->setFont(f);
        }
        if (e.hasSubmenu) {
            auto* sub = new QMenu(e.title, menu);
            if (!e.icon.isEmpty()) sub->setIcon(symbolIcon(e.icon));
            fill(sub, e.submenu, owner);
            a->setMenu(sub);
        }
        if (!actions_.contains(e.name)) actions_.insert(e.name, a);
        allActions_[e.name].append(a);
        if (owner && e.enabled && !e.hasSubmenu) {
            const QString name = e.name;
            connect(a, &QAction::triggered, this, [owner, name, a] { owner->trigger(name, a); });
        }
    }
}

QMenu* StatusMenu::build() {
    if (menu_) return menu_;
    menu_ = new QMenu;
    const std::vector<Placed> all = ordered();
    std::optional<int> previous;
    for (const Placed& p : all) {
        if (previous && *previous != group(p.place)) menu_->addSeparator();
        fill(menu_, p.section->entries(), p.section);
        previous = group(p.place);
    }
    connect(menu_, &QMenu::aboutToShow, this, &StatusMenu::refreshChecks);
    AppState& state = AppState::shared();
    state.appMenu = menu_;
    state.modelItem = action("modelItem");
    state.secureInputItem = action("secureInputItem");
    state.tapFuseItem = action("tapFuseItem");
    state.rivalItem = action("rivalItem");
    if (QAction* history = action("historyMenu")) state.historyMenu = history->menu();
    if (QAction* clipboard = action("clipboardMenu")) state.clipboardMenu = clipboard->menu();
    for (const Placed& p : all) p.section->built(*this);
    return menu_;
}

void StatusMenu::refreshChecks() {
    for (const Placed& p : ordered()) p.section->refresh(*this);
}

}  // namespace murmelo
