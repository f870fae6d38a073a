#include "ui/StatusMenu.h"

#include "ui/AppState.h"
#include "base/BuildStamp.h"
#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/MurmeloRuntimeSafety.h"
#include "base/OrderlyQuit.h"
#include "platform/Service.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QMenu>
#include <QPalette>

namespace murmelo {
namespace {

const QString LAYOUT_SWITCH_KEY = QStringLiteral("layoutSwitchEnabled");
const QString LAYOUT_SOUND_KEY = QStringLiteral("layoutSwitchSound");
const QString POLISH_KEY = QStringLiteral("polishEnabled");
const QString QUICK_ACTIONS_KEY = QStringLiteral("quickActions.enabled");
const QString SCREEN_REPLY_OCR_KEY = QStringLiteral("screenReply.ocrEnabled");
const QString CLEANUP_MODE_KEY = QStringLiteral("smartCleanup.mode.v1");
const QString PERMISSION_TITLE = QStringLiteral("Ответ на экран: разрешить снимок окна…");

bool boolOr(const QString& key, bool fallback) {
    return Defaults::shared().object(key) ? Defaults::shared().boolValue(key) : fallback;
}

QString onOff(bool on) { return on ? QStringLiteral("вкл") : QStringLiteral("выкл"); }

QString screenReplyTitle() { return L(QStringLiteral("menu.screenReplyShot"), QStringLiteral("Ответ на экран: снимок окна")); }

// The platform's symbol names mapped to the freedesktop icon theme; a name the theme
// lacks leaves the item without an icon.
QIcon symbolIcon(const QString& symbol) {
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
    const QString name = themeNames.value(symbol);
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

MenuEntry item(const QString& name, const QString& title, const QString& icon = {}) {
    MenuEntry e;
    e.name = name;
    e.title = title;
    e.icon = icon;
    return e;
}

MenuEntry disabled(const QString& name, const QString& title, const QString& icon = {}, bool hidden = false) {
    MenuEntry e = item(name, title, icon);
    e.enabled = false;
    e.hidden = hidden;
    return e;
}

MenuEntry toggle(const QString& name, const QString& title, const QString& icon, bool checked) {
    MenuEntry e = item(name, title, icon);
    e.checkable = true;
    e.checked = checked;
    return e;
}

MenuEntry separator() {
    MenuEntry e;
    e.separator = true;
    return e;
}

StatusMenuServices*& installed() {
    static StatusMenuServices* services = nullptr;
    return services;
}

QString screenReplyTitleFor(bool on, bool permitted) { return (!on || permitted) ? screenReplyTitle() : PERMISSION_TITLE; }

}  // namespace

// The switches' own settings, with the defaults their subsystems give them.
bool StatusMenuServices::layoutSwitchEnabled() const { return Defaults::shared().boolValue(LAYOUT_SWITCH_KEY); }
void StatusMenuServices::setLayoutSwitchEnabled(bool on) { Defaults::shared().set(LAYOUT_SWITCH_KEY, on); }
bool StatusMenuServices::layoutSwitchSoundEnabled() const { return boolOr(LAYOUT_SOUND_KEY, true); }
void StatusMenuServices::setLayoutSwitchSoundEnabled(bool on) { Defaults::shared().set(LAYOUT_SOUND_KEY, on); }
bool StatusMenuServices::isPolishEnabled() const { return Defaults::shared().boolValue(POLISH_KEY); }
void StatusMenuServices::setPolishEnabled(bool on) { Defaults::shared().set(POLISH_KEY, on); }
bool StatusMenuServices::isQuickActionsEnabled() const { return boolOr(QUICK_ACTIONS_KEY, true); }
void StatusMenuServices::setQuickActionsEnabled(bool on) { Defaults::shared().set(QUICK_ACTIONS_KEY, on); }
bool StatusMenuServices::screenReplyOCREnabled() const { return Defaults::shared().boolValue(SCREEN_REPLY_OCR_KEY); }
void StatusMenuServices::setScreenReplyOCREnabled(bool on) { Defaults::shared().set(SCREEN_REPLY_OCR_KEY, on); }

QList<StatusMenuServices::CleanupMode> StatusMenuServices::cleanupModes() const {
    return {{"literal", "Дословно", "только распознавание"},
            {"clean", "Чисто", "оговорки, филлеры и явные списки"},
            {"structured", "Структурировано", "плюс команды, числа и единицы"}};
}

QString StatusMenuServices::currentCleanupMode() const {
    const QString stored = Defaults::shared().stringValue(CLEANUP_MODE_KEY).value_or(QString());
    return stored == QStringLiteral("clean") || stored == QStringLiteral("structured") ? stored : QStringLiteral("literal");
}

void StatusMenuServices::setCleanupMode(const QString& rawValue) { Defaults::shared().set(CLEANUP_MODE_KEY, rawValue); }

void StatusMenuServices::terminate() {
    // The application's quit flow asks for confirmation and runs the shutdown, flushes included.
    if (quitRequest()) {
        quitRequest()();
        return;
    }
    OrderlyQuit::runFlushCallbacks();
    QCoreApplication::quit();
}

std::function<void()>& StatusMenuServices::quitRequest() {
    static std::function<void()> request;
    return request;
}

StatusMenuServices& StatusMenuServices::shared() {
    if (auto* s = installed()) return *s;
    static StatusMenuServices defaults;
    return defaults;
}

void StatusMenuServices::install(StatusMenuServices* services) { installed() = services; }

StatusMenu::StatusMenu(QObject* parent) : QObject(parent) {}

StatusMenu::~StatusMenu() { delete menu_; }

QList<MenuEntry> StatusMenu::model() {
    StatusMenuServices& s = StatusMenuServices::shared();
    QList<MenuEntry> m;
    // 1.-5. The status lines.
    if (MurmeloRuntimeSafety::isQuickActionsSmokeMode())
        m << disabled("header", L("menu.header.smoke", "Ondrix — безопасная проверка Quick Actions"));
    else
        m << disabled("header", L("menu.header", "Ondrix — %1$@ диктовка · %2$@ команда",
                                  {s.currentHotkeyName(), s.commandHotkeyName()}));
    m << disabled("modelItem", L("menu.model.placeholder", "Модель: —"));
    m << disabled("secureInputItem",
                  L("menu.secureInput", "Скрытый ввод: система прячет клавиатуру — правки молчат, диктовка работает"),
                  "lock.file", true);
    m << disabled("tapFuseItem", {}, "exclamationmark.triangle", true);
    m << disabled("rivalItem", {}, "keyboard.badge.ellipsis", true);
    // 6.
    if (BuildStamp::isWork()) {
        MenuEntry build = item("build", L("menu.build", "Сборка: %@", {BuildStamp::line()}), "hammer");
        build.hasSubmenu = true;
        for (const QString& line : BuildStamp::recent()) build.submenu << disabled("buildRecent", line);
        if (auto root = BuildStamp::root()) build.submenu << separator() << disabled("buildRoot", *root);
        m << build;
    }
    m << separator();
    // 7.-11.
    MenuEntry history = item("historyMenu", L("menu.history", "Последние надиктовки"), "mic");
    history.hasSubmenu = true;
    MenuEntry clipboard = item("clipboardMenu", L("menu.clipboard", "Последние буферы"), "doc.on.clipboard");
    clipboard.hasSubmenu = true;
    m << history << clipboard;
    m << item("openLastDictationCorrection", L("menu.fixLast", "Исправить последнюю диктовку…"), "character.cursor.ibeam");
    m << item("openLearnedCorrections", L("menu.learnedFixes", "Запомненные исправления…"), "text.badge.checkmark");
    if (BuildStamp::isWork())
        m << item("openSmartCleanupLearning", L("menu.smartCleanupSelfTest", "Обработка диктовки: самопроверка…"),
                  "checkmark.shield");
    m << separator();
    // 12.-18.
    if (s.typingFixLanguagesAvailable()) {
        m << toggle("toggleLayoutSwitch", L("menu.autoLayout", "Смена раскладки"), "keyboard", s.layoutSwitchEnabled());
        m << toggle("toggleLayoutSound", L("menu.layoutSound", "└ звук при переключении"), {},
                    s.layoutSwitchSoundEnabled());
    }
    MenuEntry cleanup = item("cleanupMenu", L("menu.dictationProcessing", "Обработка диктовки"),
                             "text.line.first.and.arrowtriangle.forward");
    cleanup.hasSubmenu = true;
    const QString current = s.currentCleanupMode();
    for (const auto& mode : s.cleanupModes()) {
        MenuEntry e = toggle("selectSmartCleanupMode", mode.title + QStringLiteral(" — ") + mode.subtitle, {},
                             mode.rawValue == current);
        e.representedObject = mode.rawValue;
        cleanup.submenu << e;
    }
    cleanup.submenu << separator();
    for (const char* hint : {"Голосом на одну фразу:", "  «со знаками …» — знаки препинания словами",
                             "  «списком …» — пронумеровать пункты", "  «дословно …» — ничего не менять"}) {
        MenuEntry e = disabled("cleanupHint", QString::fromUtf8(hint));
        e.smallSecondary = true;
        cleanup.submenu << e;
    }
    m << cleanup;
    m << toggle("togglePolish",
                s.hasActivePolishHotkey()
                    ? L("menu.polish", "Улучшить текст — %1$@", {s.polishHotkeyName()})
                    : L("menu.polish.noKey", "Улучшить текст — клавиша не назначена"),
                "wand.and.stars", s.isPolishEnabled());
    m << toggle("toggleQuickActions", L("menu.quickActions", "Быстрые действия при выделении"), "selection.pin.in.out",
                s.isQuickActionsEnabled());
    m << item("openQuickReplySettings", L("menu.openaiKey", "AI-сервис и команды (%1$@)…", {s.commandHotkeyName()}),
              "arrowshape.turn.up.left");
    const bool ocr = s.screenReplyOCREnabled();
    m << toggle("toggleScreenReplyOCR", screenReplyTitleFor(ocr, s.windowOCRHasPermission()), "text.viewfinder", ocr);
    m << separator();
    // 19.-21.
    m << item("openMeetings", L("meetings.menu", "Встречи…"), "person.wave.2");
    m << separator();
    MenuEntry prefs = item("openPrefs", L("menu.prefs", "Настройки…"), "gearshape");
    prefs.shortcut = ",";
    m << prefs << separator();
    MenuEntry quit = item("terminate", L("menu.quit", "Выход"), "power");
    quit.shortcut = "q";
    m << quit;
    return m;
}

void StatusMenu::connectAction(QAction* a, const QString& name) {
    using Plain = void (StatusMenu::*)();
    using WithSender = void (StatusMenu::*)(QAction*);
    static const QHash<QString, Plain> plain = {
        {"openPrefs", &StatusMenu::openPrefs},
        {"openMeetings", &StatusMenu::openMeetings},
        {"openQuickReplySettings", &StatusMenu::openQuickReplySettings},
        {"openLastDictationCorrection", &StatusMenu::openLastDictationCorrection},
        {"openLearnedCorrections", &StatusMenu::openLearnedCorrections},
        {"openSmartCleanupLearning", &StatusMenu::openSmartCleanupLearning},
    };
    static const QHash<QString, WithSender> withSender = {
        {"toggleLayoutSwitch", &StatusMenu::toggleLayoutSwitch},
        {"toggleLayoutSound", &StatusMenu::toggleLayoutSound},
        {"togglePolish", &StatusMenu::togglePolish},
        {"toggleQuickActions", &StatusMenu::toggleQuickActions},
        {"toggleScreenReplyOCR", &StatusMenu::toggleScreenReplyOCR},
        {"selectSmartCleanupMode", &StatusMenu::selectSmartCleanupMode},
    };
    if (auto f = plain.value(name)) {
        connect(a, &QAction::triggered, this, [this, f] { (this->*f)(); });
    } else if (auto g = withSender.value(name)) {
        connect(a, &QAction::triggered, this, [this, g, a] { (this->*g)(a); });
    } else if (name == QStringLiteral("terminate")) {
        connect(a, &QAction::triggered, this, [] { StatusMenuServices::shared().terminate(); });
    }
}

void StatusMenu::fill(QMenu* menu, const QList<MenuEntry>& entries) {
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
            fill(sub, e.submenu);
            a->setMenu(sub);
        }
        if (e.name == QStringLiteral("selectSmartCleanupMode")) {
            cleanupModeItems.insert(e.representedObject, a);
        } else if (!actions_.contains(e.name)) {
            actions_.insert(e.name, a);
        }
        connectAction(a, e.name);
    }
}

QMenu* StatusMenu::build() {
    if (menu_) return menu_;
    menu_ = new QMenu;
    fill(menu_, model());
    connect(menu_, &QMenu::aboutToShow, this, &StatusMenu::refreshChecks);
    AppState& state = AppState::shared();
    state.appMenu = menu_;
    state.modelItem = action("modelItem");
    state.secureInputItem = action("secureInputItem");
    state.tapFuseItem = action("tapFuseItem");
    state.rivalItem = action("rivalItem");
    state.historyMenu = action("historyMenu")->menu();
    state.clipboardMenu = action("clipboardMenu")->menu();
    StatusMenuServices& s = StatusMenuServices::shared();
    s.refreshTapFuseItem();
    s.refreshRivalItem();
    s.rebuildHistoryMenu();
    s.rebuildClipboardMenu();
    refreshCleanupModeItems();
    return menu_;
}

void StatusMenu::refreshChecks() {
    StatusMenuServices& s = StatusMenuServices::shared();
    if (QAction* a = action("toggleLayoutSwitch")) a->setChecked(s.layoutSwitchEnabled());
    if (QAction* a = action("toggleLayoutSound")) a->setChecked(s.layoutSwitchSoundEnabled());
    if (QAction* a = action("togglePolish")) a->setChecked(s.isPolishEnabled());
    if (QAction* a = action("toggleQuickActions")) a->setChecked(s.isQuickActionsEnabled());
    if (QAction* a = action("toggleScreenReplyOCR")) {
        const bool on = s.screenReplyOCREnabled();
        a->setChecked(on);
        a->setText(screenReplyTitleFor(on, s.windowOCRHasPermission()));
    }
    refreshCleanupModeItems();
}

void StatusMenu::openPrefs() { StatusMenuServices::shared().openSettings(); }
void StatusMenu::openMeetings() { StatusMenuServices::shared().openMeetings(); }
void StatusMenu::openClipboard() { StatusMenuServices::shared().openSettingsHistory(); }
void StatusMenu::openQuickReplySettings() { StatusMenuServices::shared().openQuickReplySettings(); }
void StatusMenu::openLastDictationCorrection() { StatusMenuServices::shared().showCorrection(); }
void StatusMenu::openLearnedCorrections() { StatusMenuServices::shared().showRules(); }
void StatusMenu::openSmartCleanupLearning() { StatusMenuServices::shared().showCleanupStatus(); }

void StatusMenu::toggleLayoutSwitch(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    const bool on = !s.layoutSwitchEnabled();
    s.setLayoutSwitchEnabled(on);
    sender->setChecked(on);
    logLine(QStringLiteral("авто-раскладка: ") + onOff(on));
}

void StatusMenu::toggleLayoutSound(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    const bool on = !s.layoutSwitchSoundEnabled();
    s.setLayoutSwitchSoundEnabled(on);
    sender->setChecked(on);
    logLine(QStringLiteral("звук переключения раскладки: ") + onOff(on));
}

void StatusMenu::togglePolish(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    s.setPolishEnabled(!s.isPolishEnabled());
    sender->setChecked(s.isPolishEnabled());
}

void StatusMenu::toggleQuickActions(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    const bool on = !s.isQuickActionsEnabled();
    s.setQuickActionsEnabled(on);
    sender->setChecked(on);
    logLine(QStringLiteral("Quick Actions: ") + onOff(on));
}

void StatusMenu::toggleScreenReplyOCR(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    const bool on = s.screenReplyOCREnabled();
    // 1.
    if (!on || s.windowOCRHasPermission()) {
        const bool next = !on;
        s.setScreenReplyOCREnabled(next);
        sender->setChecked(next);
        sender->setText(screenReplyTitleFor(next, s.windowOCRHasPermission()));
        return;
    }
    // 2. On without permission: ask for it; the switch stays as it is.
    const bool granted = s.requestWindowOCRPermission();
    logLine(QStringLiteral("Ответ на экран: запрос разрешения на снимок экрана → ") +
            (granted ? QStringLiteral("true") : QStringLiteral("false")));
    if (!granted) s.openScreenCaptureSettings();
    sender->setText(s.windowOCRHasPermission() ? screenReplyTitle() : PERMISSION_TITLE);
}

void StatusMenu::selectSmartCleanupMode(QAction* sender) {
    StatusMenuServices& s = StatusMenuServices::shared();
    // 1.
    const QVariant data = sender->data();
    if (data.typeId() != QMetaType::QString) return;
    const QString raw = data.toString();
    bool known = false;
    for (const auto& mode : s.cleanupModes()) known = known || mode.rawValue == raw;
    if (!known) return;
    // 2.-3.
    s.setCleanupMode(raw);
    refreshCleanupModeItems();
    logLine(QStringLiteral("Smart Cleanup: режим ") + raw);
}

void StatusMenu::refreshCleanupModeItems() {
    const QString current = StatusMenuServices::shared().currentCleanupMode();
    for (auto it = cleanupModeItems.begin(); it != cleanupModeItems.end(); ++it) it.value()->setChecked(it.key() == current);
}

}  // namespace murmelo
