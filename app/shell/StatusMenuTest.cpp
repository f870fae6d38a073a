#include "ui/StatusMenu.h"

#include "TestEnvironment.h"
#include "shell/StatusMenuSections.h"
#include "ui/AppState.h"
#include "base/Bundle.h"
#include "platform/Service.h"
#include "polish/PolishSettings.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// The switcher's and the polish key's answers to the menu.
struct MenuAnswers : LayoutMenuSection::Switcher, PolishMenuSection::Hotkey {
    bool layouts = true;
    bool polishKey = true;
    bool typingFixLanguagesAvailable() override { return layouts; }
    // The engine's answer, without the engine: the stored switch, off when unset.
    bool layoutSwitchEnabled() override { return Defaults::shared().boolValue("layoutSwitchEnabled"); }
    bool hasActivePolishHotkey() override { return polishKey; }
    QString polishHotkeyName() override { return QString("правый Shift"); }
};

// The subsystems' sections, answering as their subsystems would; the switches keep their
// settings-backed behaviour.
struct FakeSections : MenuAnswers, StatusMenuSections {
    bool permission = true;
    bool grantOnRequest = false;
    int permissionRequests = 0, settingsOpened = 0, screenSettingsOpened = 0, historyRebuilt = 0;
    FakeSections() : StatusMenuSections(static_cast<MenuAnswers&>(*this), static_cast<MenuAnswers&>(*this)) {
        header.dictationKeyName = [] { return QString("правый Ctrl"); };
        header.commandKeyName = [] { return QString("правый Alt"); };
        quickActions.commandHotkeyName = [] { return QString("правый Alt"); };
        screenReply.windowOCRHasPermission = [this] { return permission; };
        screenReply.requestWindowOCRPermission = [this] {
            ++permissionRequests;
            permission = grantOnRequest;
            return permission;
        };
        screenReply.openScreenCaptureSettings = [this] { ++screenSettingsOpened; };
        settings.openSettings = [this] { ++settingsOpened; };
        history.attach = [this] { ++historyRebuilt; };
    }
};

class StatusMenuTest : public ::testing::Test {
protected:
    ~StatusMenuTest() override { Bundle::setInfoForTesting(std::nullopt); }
    static QStringList names(const QList<MenuEntry>& entries) {
        QStringList out;
        for (const MenuEntry& e : entries) out << (e.separator ? QStringLiteral("-") : e.name);
        return out;
    }
    static const MenuEntry* find(const QList<MenuEntry>& entries, const QString& name) {
        for (const MenuEntry& e : entries)
            if (e.name == name) return &e;
        return nullptr;
    }

    test::TestEnvironment env;
    FakeSections services;
    // The polish switch starts no corrector server here.
    struct NoCorrectorSwitch : PolishSwitchSteps {
        void startCorrector(bool) override {}
        void stopCorrector() override {}
    } polishSwitch;
    ScopedService<PolishSwitchSteps> polishSwitchScope{polishSwitch};
};

TEST_F(StatusMenuTest, ReleaseBuildMenuHasTheFixedOrderAndTexts) {
    Bundle::setInfoForTesting(QHash<QString, QString>{{"MurmeloBuildBranch", "main"}});
    const QList<MenuEntry> m = StatusMenu::model();
    EXPECT_EQ(names(m), QStringList({"header", "modelItem", "secureInputItem", "tapFuseItem", "rivalItem", "-",
                                     "historyMenu", "clipboardMenu", "openLastDictationCorrection",
                                     "openLearnedCorrections", "-", "toggleLayoutSwitch", "toggleLayoutSound",
                                     "cleanupMenu", "togglePolish", "toggleQuickActions", "openQuickReplySettings",
                                     "toggleScreenReplyOCR", "-", "openMeetings", "-", "openPrefs", "-", "terminate"}));
    EXPECT_EQ(m[0].title, "Ondrix — правый Ctrl диктовка · правый Alt команда");
    EXPECT_FALSE(m[0].enabled);
    EXPECT_TRUE(find(m, "secureInputItem")->hidden);
    EXPECT_EQ(find(m, "togglePolish")->title, "Улучшить текст — правый Shift");
    EXPECT_EQ(find(m, "openQuickReplySettings")->title, "AI-сервис и команды (правый Alt)…");
    EXPECT_EQ(find(m, "openPrefs")->shortcut, ",");
    EXPECT_EQ(find(m, "terminate")->shortcut, "q");
    EXPECT_TRUE(find(m, "toggleLayoutSound")->checked);      // on by default
    EXPECT_TRUE(find(m, "toggleQuickActions")->checked);     // on by default
    EXPECT_FALSE(find(m, "toggleLayoutSwitch")->checked);

    const MenuEntry& cleanup = *find(m, "cleanupMenu");
    ASSERT_EQ(cleanup.submenu.size(), 8);
    EXPECT_EQ(cleanup.submenu[0].title, "Дословно — только распознавание");
    EXPECT_TRUE(cleanup.submenu[0].checked);  // no stored mode reads as literal
    EXPECT_EQ(cleanup.submenu[2].representedObject, "structured");
    EXPECT_TRUE(cleanup.submenu[3].separator);
    EXPECT_EQ(cleanup.submenu[5].title, "  «со знаками …» — знаки препинания словами");
    EXPECT_TRUE(cleanup.submenu[5].smallSecondary && !cleanup.submenu[5].enabled);
}

TEST_F(StatusMenuTest, BuildAndLayoutLinesDependOnTheBuildAndTheLayouts) {
    Bundle::setInfoForTesting(QHash<QString, QString>{{"MurmeloBuildBranch", "feature/menu"},
                                                      {"MurmeloBuildCommit", "abc1234"},
                                                      {"MurmeloBuildRecent0", "abc1234 меню"},
                                                      {"MurmeloBuildRoot", "/src/murmelo"}});
    services.layouts = false;
    services.polishKey = false;
    const QList<MenuEntry> m = StatusMenu::model();
    const MenuEntry* build = find(m, "build");
    ASSERT_TRUE(build);
    EXPECT_TRUE(build->title.startsWith("Сборка: feature/menu"));
    EXPECT_EQ(names(build->submenu), QStringList({"buildRecent", "-", "buildRoot"}));
    EXPECT_EQ(build->submenu[2].title, "/src/murmelo");
    EXPECT_TRUE(find(m, "openSmartCleanupLearning"));
    EXPECT_FALSE(find(m, "toggleLayoutSwitch"));
    EXPECT_FALSE(find(m, "toggleLayoutSound"));
    EXPECT_EQ(find(m, "togglePolish")->title, "Улучшить текст — клавиша не назначена");
}

TEST_F(StatusMenuTest, BuiltMenuGoesToTheStateHubAndItsTogglesLogAndStore) {
    StatusMenu menu;
    QMenu* qmenu = menu.build();
    EXPECT_EQ(AppState::shared().appMenu, qmenu);
    EXPECT_EQ(AppState::shared().modelItem->text(), "Модель: —");
    EXPECT_TRUE(AppState::shared().historyMenu);
    EXPECT_EQ(services.historyRebuilt, 1);

    struct Case {
        const char* action;
        const char* key;
        bool after;
        const char* line;  // nullptr: none
    };
    const std::vector<Case> cases = {
        {"toggleLayoutSwitch", "layoutSwitchEnabled", true, "авто-раскладка: вкл"},
        {"toggleLayoutSound", "layoutSwitchSound", false, "звук переключения раскладки: выкл"},
        {"togglePolish", "polishEnabled", true, "полировка: вкл"},
        {"toggleQuickActions", "quickActions.enabled", false, "Quick Actions: выкл"},
    };
    for (const Case& c : cases) {
        QAction* a = menu.action(c.action);
        ASSERT_TRUE(a) << c.action;
        const qsizetype before = env.logLines().size();
        a->trigger();
        EXPECT_EQ(env.defaults().realBool(c.key), c.after) << c.action;
        EXPECT_EQ(a->isChecked(), c.after) << c.action;
        const QStringList added = env.logLines().mid(before);
        EXPECT_EQ(added, c.line ? QStringList{QStringLiteral("10:00:00 ") + c.line} : QStringList{}) << c.action;
    }
    menu.action("openPrefs")->trigger();
    EXPECT_EQ(services.settingsOpened, 1);
}

TEST_F(StatusMenuTest, CheckMarksAreReadAfreshWhenTheMenuOpens) {
    StatusMenu menu;
    QMenu* qmenu = menu.build();
    EXPECT_FALSE(menu.action("togglePolish")->isChecked());
    // Changed elsewhere (the settings window, onboarding).
    env.defaults().set("polishEnabled", true);
    env.defaults().set("quickActions.enabled", false);
    env.defaults().set("smartCleanup.mode.v1", "clean");
    emit qmenu->aboutToShow();
    EXPECT_TRUE(menu.action("togglePolish")->isChecked());
    EXPECT_FALSE(menu.action("toggleQuickActions")->isChecked());
    EXPECT_TRUE(services.cleanupMode.modeItems.value("clean")->isChecked());
    EXPECT_FALSE(services.cleanupMode.modeItems.value("literal")->isChecked());
}

TEST_F(StatusMenuTest, CleanupModeChoiceStoresLogsAndIgnoresStrangeObjects) {
    StatusMenu menu;
    menu.build();
    QAction* structured = services.cleanupMode.modeItems.value("structured");
    structured->trigger();
    EXPECT_EQ(env.defaults().stringValue("smartCleanup.mode.v1"), "structured");
    EXPECT_TRUE(structured->isChecked());
    EXPECT_FALSE(services.cleanupMode.modeItems.value("literal")->isChecked());
    structured->trigger();  // already selected: stored and logged again
    EXPECT_EQ(env.logLines().filter("Smart Cleanup: режим structured").size(), 2);

    QAction strange;
    for (const QVariant& v : {QVariant("verbatim"), QVariant(1), QVariant()}) {
        strange.setData(v);
        services.cleanupMode.select(&strange);
    }
    EXPECT_EQ(env.defaults().stringValue("smartCleanup.mode.v1"), "structured");
    EXPECT_EQ(env.logLines().size(), 2);
}

TEST_F(StatusMenuTest, WindowCaptureWithoutPermissionAsksInsteadOfSwitchingOff) {
    services.permission = false;
    StatusMenu menu;
    menu.build();
    QAction* shot = menu.action("toggleScreenReplyOCR");
    EXPECT_EQ(shot->text(), "Ответ на экран: снимок окна");
    shot->trigger();  // on, and the title asks for permission
    EXPECT_TRUE(shot->isChecked());
    EXPECT_EQ(env.defaults().realBool("screenReply.ocrEnabled"), true);
    EXPECT_EQ(shot->text(), "Ответ на экран: разрешить снимок окна…");
    shot->trigger();  // asks; refused: the system settings open, the switch stays on
    EXPECT_EQ(services.permissionRequests, 1);
    EXPECT_EQ(services.screenSettingsOpened, 1);
    EXPECT_EQ(env.defaults().realBool("screenReply.ocrEnabled"), true);
    EXPECT_EQ(shot->text(), "Ответ на экран: разрешить снимок окна…");
    EXPECT_TRUE(env.logContains("Ответ на экран: запрос разрешения на снимок экрана → false"));
    services.grantOnRequest = true;
    shot->trigger();
    EXPECT_EQ(shot->text(), "Ответ на экран: снимок окна");
    EXPECT_EQ(services.screenSettingsOpened, 1);
    shot->trigger();  // with permission it switches off
    EXPECT_FALSE(shot->isChecked());
    EXPECT_EQ(env.defaults().realBool("screenReply.ocrEnabled"), false);
}

}  // namespace
