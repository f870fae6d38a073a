#include "settings/Appearance.h"

#include "TestEnvironment.h"
#include "polish/PolishCard.h"
#include "presence/PresenceSeam.h"
#include "sim/SimColorScheme.h"
#include "ui/AppPalette.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct AppearanceFixture : ::testing::Test {
    AppearanceFixture() {
        presence.presenceStyleApply = [this] { ++presenceApplied; };
        presence.ladderPresenceShow = [] {};
        presence.beadDropPrewarm = [] {};
    }
    // The palette is the process's: every test leaves it light.
    ~AppearanceFixture() override { AppPalette::setDark(false); }

    test::TestEnvironment env;
    sim::SimColorScheme desktop;
    ScopedService<ColorScheme> desktopScope{desktop};
    PresenceSeam presence;
    ScopedService<PresenceSeam> presenceScope{presence};
    int presenceApplied = 0;
};

}  // namespace

TEST_F(AppearanceFixture, OnlyExactRawTextsAreRead) {
    struct Case {
        const char* name;
        std::optional<QVariant> stored;
        AppAppearance appearance;
        AppOrbStyle orb;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, AppAppearance::system, AppOrbStyle::light},
        {"exact texts", QVariant(QStringLiteral("dark")), AppAppearance::dark, AppOrbStyle::light},
        {"light", QVariant(QStringLiteral("light")), AppAppearance::light, AppOrbStyle::light},
        {"water", QVariant(QStringLiteral("water")), AppAppearance::system, AppOrbStyle::water},
        {"capital letter", QVariant(QStringLiteral("Dark")), AppAppearance::system, AppOrbStyle::light},
        {"trailing blank", QVariant(QStringLiteral("water ")), AppAppearance::system, AppOrbStyle::light},
        {"a number", QVariant(qint64(1)), AppAppearance::system, AppOrbStyle::light},
        {"a Boolean", QVariant(true), AppAppearance::system, AppOrbStyle::light},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& key : {Appearance::key, OrbStyle::key}) {
            if (c.stored) env.defaults().set(key, *c.stored);
            else env.defaults().remove(key);
        }
        EXPECT_EQ(Appearance::current(), c.appearance);
        EXPECT_EQ(OrbStyle::current(), c.orb);
        // Reading never rewrites what is stored.
        EXPECT_EQ(env.defaults().object(Appearance::key), c.stored);
    }
}

TEST_F(AppearanceFixture, ChoicesRoundTripThroughTheSettingsFileAndUnknownTextsStayUntilAPick) {
    const QString path = env.root() + QStringLiteral("/defaults.json");
    {
        Defaults file(path);
        ScopedService<Defaults> scope(file);
        file.set(Appearance::key, QStringLiteral("Dark"));
        file.set(OrbStyle::key, qint64(1));
        Appearance::apply();
        EXPECT_EQ(Appearance::current(), AppAppearance::system);
        EXPECT_EQ(OrbStyle::current(), AppOrbStyle::light);
    }
    {
        Defaults file(path);
        ScopedService<Defaults> scope(file);
        EXPECT_EQ(file.stringValue(Appearance::key), QStringLiteral("Dark"));
        EXPECT_EQ(file.integerObject(OrbStyle::key), 1);
        Appearance::setCurrent(AppAppearance::dark);
        OrbStyle::setCurrent(AppOrbStyle::water);
    }
    Defaults file(path);
    ScopedService<Defaults> scope(file);
    EXPECT_EQ(Appearance::current(), AppAppearance::dark);
    EXPECT_EQ(OrbStyle::current(), AppOrbStyle::water);
    EXPECT_EQ(currentOrbDesign(), OrbDesign::water) << "the drops read the same choice";
}

TEST_F(AppearanceFixture, PickingADesignLogsAndShowsThePresenceAgainEveryTime) {
    OrbStyle::setCurrent(AppOrbStyle::water);
    OrbStyle::setCurrent(AppOrbStyle::water);
    EXPECT_EQ(env.defaults().stringValue(OrbStyle::key), QStringLiteral("water"));
    EXPECT_EQ(env.logLines().filter(QStringLiteral("дизайн Ondrix: water")).size(), 2);
    EXPECT_EQ(presenceApplied, 2);
    Appearance::setCurrent(AppAppearance::light);
    EXPECT_TRUE(env.logContains(QStringLiteral("оформление: light")));
    EXPECT_EQ(env.defaults().stringValue(Appearance::key), QStringLiteral("light"));
}

TEST_F(AppearanceFixture, DarkReachesOurCardsWhileTheTrayKeepsTheDesktopsInk) {
    ASSERT_FALSE(AppPalette::desktopIsDark());
    Appearance::setCurrent(AppAppearance::dark);
    EXPECT_TRUE(Appearance::windowsAreDark());
    EXPECT_FALSE(AppPalette::desktopIsDark()) << "the tray icon sits on the desktop's panel";

    struct NoForms final : PolishCardController::WordForms {
        bool isKnownForm(const QString&) override { return true; }
    } forms;
    PolishCardController cards(forms);
    env.defaults().set(QStringLiteral("polishEnabled"), true);
    cards.showNote(QStringLiteral("Корректор не отвечает"));
    env.runPending();
    ASSERT_TRUE(cards.currentBody());
    EXPECT_TRUE(cards.currentBody()->dark);

    Appearance::setCurrent(AppAppearance::light);
    EXPECT_FALSE(Appearance::windowsAreDark());
    cards.showNote(QStringLiteral("Корректор не отвечает"));
    env.runPending();
    EXPECT_FALSE(cards.currentBody()->dark);
}

TEST_F(AppearanceFixture, SystemFollowsTheDesktopOnlyWhileItIsChosen) {
    desktop.set(true);
    Appearance::setCurrent(AppAppearance::system);
    EXPECT_TRUE(Appearance::windowsAreDark());
    desktop.set(false);
    EXPECT_FALSE(Appearance::windowsAreDark()) << "the portal's change signal re-applies";
    desktop.set(std::nullopt);
    EXPECT_FALSE(Appearance::windowsAreDark()) << "no preference reads as light";

    Appearance::setCurrent(AppAppearance::light);
    desktop.set(true);
    EXPECT_FALSE(Appearance::windowsAreDark()) << "an explicit theme ignores the desktop";
}

TEST(SettingsHotkeyTitle, NamesTheLinuxKeysAndNothingElse) {
    const std::pair<qint64, const char*> cases[] = {
        {54, "правый Ctrl"}, {55, "левый Ctrl"}, {60, "правый Shift"}, {61, "правый Alt"},
        {62, "правый Super"}, {63, "Fn (🌐)"}, {-1, "без клавиши"}, {56, "без клавиши"},
    };
    for (const auto& [code, title] : cases) EXPECT_EQ(settingsHotkeyTitle(code), QString::fromUtf8(title)) << code;
}
