#include "base/Autostart.h"

#include "TestEnvironment.h"
#include "platform/Folders.h"
#include "platform/RunningApplication.h"
#include "sim/SimLoginItem.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::writeFile;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray LEGACY = "[Desktop Entry]\nType=Application\nName=Murmelo\nExec=/opt/murmelo/murmelo\n";

class AutostartTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
};

// The real login item: a desktop entry in the (test's) autostart folder.
TEST_F(AutostartTest, EnablingWritesAValidAutostartEntryAndDisablingRemovesIt) {
    const QString entry = Folders::join(Folders::autostart(), "com.local.murmelo.desktop");
    EXPECT_FALSE(Autostart::isEnabled());
    Autostart::setEnabled(true);
    EXPECT_TRUE(Autostart::isEnabled());
    const auto fields = LoginItem::readDesktopEntry(entry);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->value("Type"), "Application");
    EXPECT_EQ(fields->value("Exec"), '"' + RunningApplication::shared().executablePath() + '"');
    EXPECT_FALSE(fields->value("Name").isEmpty());
    EXPECT_TRUE(readFile(entry).startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(env.logContains("автозапуск (XDG autostart): вкл"));

    Autostart::setEnabled(false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_TRUE(env.logContains("автозапуск (XDG autostart): выкл"));
}

TEST_F(AutostartTest, ExecValuesAreQuotedAndEscapedForADesktopEntry) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"/usr/bin/murmelo", R"("/usr/bin/murmelo")"},
        {"/home/u/My Apps/murmelo", R"("/home/u/My Apps/murmelo")"},
        {"/opt/a$b/murmelo", R"("/opt/a\\$b/murmelo")"},
        {"/opt/100%/murmelo", R"("/opt/100%%/murmelo")"},
        {R"(/opt/q"x\y/murmelo)", R"("/opt/q\\"x\\\\y/murmelo")"},
    };
    for (const auto& [program, exec] : cases) EXPECT_EQ(LoginItem::execValue(program), exec) << program.toStdString();
}

class AutostartSimTest : public AutostartTest {
protected:
    sim::SimLoginItem item;
    ScopedService<LoginItem> itemScope_{item};
};

TEST_F(AutostartSimTest, LegacyModeKeepsItsSwitchInTheSettingAndHidesTheEntry) {
    writeFile(Autostart::legacyPlistPath(), LEGACY + "Hidden=false\n[Other]\nHidden=x\n");
    EXPECT_TRUE(Autostart::isLegacyMode());
    EXPECT_TRUE(Autostart::isEnabled());  // never written: on
    Autostart::setEnabled(false);
    EXPECT_EQ(env.defaults().realBool("murmelo.autostart"), false);
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_EQ(LoginItem::readDesktopEntry(Autostart::legacyPlistPath())->value("Hidden"), "true");
    EXPECT_TRUE(readFile(Autostart::legacyPlistPath()).endsWith("[Other]\nHidden=x\n"));
    Autostart::setEnabled(true);
    EXPECT_EQ(LoginItem::readDesktopEntry(Autostart::legacyPlistPath())->value("Hidden"), "false");
    EXPECT_EQ(env.logLines().filter("автозапуск (легаси): ").size(), 2);
    EXPECT_EQ(item.current, LoginItem::Status::notRegistered);  // the login item is not touched
}

TEST_F(AutostartSimTest, LoginItemErrorsAndApprovalAreLogged) {
    item.needsApproval = true;
    Autostart::setEnabled(true);
    EXPECT_EQ(item.settingsOpened, 1);
    EXPECT_TRUE(env.logContains("автозапуск: ждёт разрешения в Системных настройках → Логин"));
    item.unregisterError = "нет доступа";
    Autostart::setEnabled(false);
    EXPECT_TRUE(env.logContains("автозапуск (XDG autostart) ошибка: нет доступа"));
    EXPECT_EQ(item.current, LoginItem::Status::requiresApproval);
}

TEST_F(AutostartSimTest, MigrationMovesTheLegacyEntryAsideAndRegistersTheLoginItem) {
    Autostart::CommandResult none = Autostart::runMigrateAutostart();
    const QString noneLine = "миграция не нужна: легаси-агента (" + Autostart::legacyPlistPath() + ") нет\n";
    EXPECT_EQ(none.output, noneLine);
    EXPECT_EQ(none.exitStatus, 0);

    writeFile(Autostart::legacyPlistPath(), LEGACY);
    writeFile(Autostart::backupPath(), "an earlier backup");
    item.needsApproval = true;
    const Autostart::CommandResult done = Autostart::runMigrateAutostart();
    EXPECT_EQ(done.exitStatus, 0);
    EXPECT_EQ(done.output, "осталось разрешить Ondrix в настройках автозапуска рабочего стола (окно открыто)\n"
                           "готово: автозапуск теперь через XDG autostart; легаси отложен в " +
                               Autostart::backupPath() + "\n");
    EXPECT_FALSE(QFile::exists(Autostart::legacyPlistPath()));
    EXPECT_EQ(readFile(Autostart::backupPath()), LEGACY);
    EXPECT_EQ(item.settingsOpened, 1);
    EXPECT_TRUE(env.logContains("автозапуск мигрирован: легаси → XDG autostart"));

    EXPECT_EQ(Autostart::runMigrateAutostart().output, noneLine);  // a second run has nothing to do
}

// A user who had switched the legacy entry off keeps it off: the migration moves the entry
// aside and registers nothing.
TEST_F(AutostartSimTest, MigrationKeepsAnAutostartTheUserHadSwitchedOff) {
    struct Case {
        const char* name;
        QByteArray entry;
        std::optional<bool> setting;
        LoginItem::Status after;
    } cases[] = {
        {"switched off in the setting", LEGACY, false, LoginItem::Status::notRegistered},
        {"hidden entry, no setting", LEGACY + "Hidden=true\n", std::nullopt, LoginItem::Status::notRegistered},
        {"on in the setting", LEGACY, true, LoginItem::Status::enabled},
        {"never written", LEGACY, std::nullopt, LoginItem::Status::enabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        item.current = LoginItem::Status::notRegistered;
        QFile::remove(Autostart::backupPath());
        env.defaults().remove(Autostart::SWITCH_KEY);
        if (c.setting) env.defaults().set(Autostart::SWITCH_KEY, *c.setting);
        writeFile(Autostart::legacyPlistPath(), c.entry);
        const Autostart::CommandResult r = Autostart::runMigrateAutostart();
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(item.current, c.after);
        EXPECT_FALSE(Autostart::isLegacyMode());
        EXPECT_EQ(readFile(Autostart::backupPath()), c.entry);
        EXPECT_EQ(Autostart::isEnabled(), c.after == LoginItem::Status::enabled);
    }
}

TEST_F(AutostartSimTest, AFailedRegistrationPutsTheLegacyEntryBack) {
    writeFile(Autostart::legacyPlistPath(), LEGACY);
    item.registerError = "диск только для чтения";
    const Autostart::CommandResult r = Autostart::runMigrateAutostart();
    EXPECT_EQ(r.output, "XDG autostart не зарегистрировался (диск только для чтения) — легаси возвращён на место\n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(readFile(Autostart::legacyPlistPath()), LEGACY);
    EXPECT_FALSE(QFile::exists(Autostart::backupPath()));
}

TEST_F(AutostartSimTest, OnlyAnAutoRestartOfTrueIsABlanketKeepAlive) {
    EXPECT_FALSE(Autostart::legacyHasBlanketKeepAlive());  // no file
    const std::vector<std::pair<QByteArray, bool>> cases = {
        {LEGACY + "X-GNOME-AutoRestart=true\n", true},
        {LEGACY + "X-GNOME-AutoRestart=false\n", false},
        {LEGACY + "X-GNOME-AutoRestart=yes\n", false},
        {LEGACY, false},
        {"X-GNOME-AutoRestart=true\n", false},  // no [Desktop Entry] group
        {LEGACY + "[Desktop Action x]\nX-GNOME-AutoRestart=true\n", false},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(Autostart::legacyPlistPath(), text);
        EXPECT_EQ(Autostart::legacyHasBlanketKeepAlive(), expected) << text.toStdString();
    }
}

}  // namespace
