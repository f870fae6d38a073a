// The settings window as the user reaches it: from the status menu, over the real owners.

#include "Desk.h"

#include "layout/LayoutSwitcherTestSupport.h"
#include "settings/PrefsWindow.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::e2e;

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest() { LayoutSwitcher::install(&engine); }
    ~SettingsWindowTest() override {
        if (prefs.window()) prefs.window()->hide();
        LayoutSwitcher::install(nullptr);
    }

    Desk desk;
    // The layout switch reads its engine's state.
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    LivePrefsOwners owners;
    PrefsWindow prefs{owners};
    ScopedService<PrefsWindow> prefsScope{prefs};
};

}  // namespace

TEST_F(SettingsWindowTest, TheMenuOpensTheWindowOnHomeAndTheClipboardLineOnHistory) {
    ASSERT_TRUE(desk.choose(QStringLiteral("openPrefs")));
    ASSERT_TRUE(prefs.window());
    EXPECT_TRUE(prefs.window()->isVisible());
    EXPECT_EQ(prefs.state().tab(), PrefsTab::home);

    desk.copy(QStringLiteral("первый"));
    ASSERT_TRUE(desk.choose(QStringLiteral("clipboardMenu"), QStringLiteral("Открыть историю буфера…")));
    EXPECT_EQ(prefs.state().tab(), PrefsTab::history);
    ASSERT_EQ(prefs.state().clipboardItems().size(), 1u);
    EXPECT_EQ(prefs.state().clipboardItems()[0].text, QStringLiteral("первый"));
    // The open window follows the clipboard history.
    desk.copy(QStringLiteral("второй"));
    EXPECT_EQ(prefs.state().clipboardItems().size(), 2u);

    EXPECT_FALSE(desk.logHas(QStringLiteral("меню: «Настройки…» — этой части в сборке ещё нет")));
    EXPECT_FALSE(desk.logHas(QStringLiteral("буфер: окна настроек в этой сборке нет")));
}

TEST_F(SettingsWindowTest, OpeningAndClosingWithoutTypingLeavesTheSettingsFileAsItWas) {
    const QString path = desk.env.root() + QStringLiteral("/defaults.json");
    Defaults file(path);
    ScopedService<Defaults> fileScope(file);
    // Nothing stored for the terms (the seed stands) or the commands (the sample shows); an
    // appearance of the wrong case stays until the user picks.
    file.set(QStringLiteral("appearance"), QStringLiteral("Dark"));
    file.set(QStringLiteral("murmelo.hotkeyCode"), qint64(61));
    file.set(QStringLiteral("dictationHistoryEnabled"), false);
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();

    ASSERT_TRUE(desk.choose(QStringLiteral("openPrefs")));
    EXPECT_EQ(prefs.state().dictationKey(), 61);
    EXPECT_EQ(prefs.state().commandKey(), -1) << "the command key would be the dictation key: off";
    EXPECT_FALSE(prefs.state().dictationHistoryOn());
    EXPECT_EQ(prefs.state().appearance(), AppAppearance::system);
    prefs.window()->close();
    desk.wait(1);

    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);
}
