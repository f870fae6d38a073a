#include "layout/InputRivals.h"

#include "TestEnvironment.h"
#include "layout/LayoutMenuSections.h"
#include "input/OwnedChords.h"
#include "platform/KeyEventPoster.h"
#include "sim/SimDesktop.h"
#include "sim/SimEventTap.h"
#include "sim/SimProcesses.h"
#include "ui/AppState.h"
#include "ui/StatusMenu.h"

#include <QAction>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString WARNING = QStringLiteral("⚠ РЯДОМ РАБОТАЕТ ЧУЖОЙ ПЕРЕХВАТЧИК: ");
const QString NOBODY = QStringLiteral("перехватчики ввода: кроме нас никого");

struct Rivals : ::testing::Test {
    Rivals() { InputRivals::resetForTesting(); }
    ~Rivals() override { InputRivals::resetForTesting(); }

    test::TestEnvironment env;
    sim::SimProcesses processes{500};
    ScopedService<Processes> processesScope{processes};
};

TEST_F(Rivals, KnownSwitchersAndRemappersAreFoundByProcessName) {
    struct Case {
        const char* what;
        QString executable;
        QStringList arguments;
        std::optional<QString> name;
    } cases[] = {
        {"a switcher by its executable", "/usr/bin/gxneur", {}, "X Neural Switcher"},
        {"a remapper daemon", "/usr/bin/keyd", {"keyd"}, "keyd"},
        {"a script under its interpreter", "/usr/bin/python3.11",
         {"/usr/bin/python3", "-u", "/usr/bin/input-remapper-service"}, "Input Remapper"},
        {"an executable no longer readable", "", {"kmonad", "/home/u/.config/kmonad.kbd"}, "KMonad"},
        {"a name that only contains one", "/usr/bin/keydb-server", {}, std::nullopt},
        {"an editor with a rival's name as argument", "/usr/bin/vim", {"vim", "/etc/keyd/default.conf"}, std::nullopt},
        {"a script of another program", "/usr/bin/python3", {"python3", "/usr/bin/xkeysnail-config"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessRow row;
        row.executable = c.executable;
        row.arguments = c.arguments.isEmpty() ? QStringList{c.executable} : c.arguments;
        EXPECT_EQ(InputRivals::rivalName(row), c.name);
    }
}

TEST_F(Rivals, TheListIsSortedWithoutDuplicatesOrOurselves) {
    processes.add(500, 1, 10, "/usr/bin/keyd");  // our own process, whatever its name
    processes.add(610, 1, 10, "/usr/bin/xneur");
    processes.add(611, 1, 10, "/usr/bin/gxneur");
    processes.add(612, 1, 10, "/usr/bin/kanata");
    processes.add(613, 1, 10, "/usr/bin/bash");
    EXPECT_EQ(InputRivals::running(), QStringList({"Kanata", "X Neural Switcher"}));
    processes.setReadable(false);
    EXPECT_EQ(InputRivals::running(), QStringList());
}

TEST_F(Rivals, EachChangeIsLoggedOnceAndTheFirstReportAlways) {
    InputRivals::start();
    EXPECT_EQ(env.logLines().filter(NOBODY).size(), 1);
    env.advance(60);
    EXPECT_EQ(env.logLines().filter(NOBODY).size(), 1);

    processes.add(700, 1, 10, "/usr/bin/xcape");
    env.advance(60);
    EXPECT_TRUE(env.logContains(WARNING + QStringLiteral(
                                    "xcape. Обе программы правят одни и те же клавиши: возможны дубли букв, "
                                    "недоконвертированные слова и правки, спорящие друг с другом. Прежде чем "
                                    "разбирать жалобу на текст, спроси, работает ли он")));
    EXPECT_EQ(InputRivals::menuLine(), QStringLiteral("Рядом работает xcape — правки могут спорить"));
    env.advance(120);
    EXPECT_EQ(env.logLines().filter(WARNING).size(), 1);

    processes.remove(700);
    env.advance(60);
    EXPECT_EQ(env.logLines().filter(NOBODY).size(), 2);
    EXPECT_EQ(InputRivals::menuLine(), std::nullopt);
}

TEST_F(Rivals, TheStatusMenuLineShowsARivalFoundWhenTheMenuOpens) {
    RivalMenuSection section;
    StatusMenuRegistration registration(StatusMenuPlace::rival, &section);
    StatusMenu menu;
    menu.build();
    QAction* line = menu.action("rivalItem");
    ASSERT_TRUE(line);
    EXPECT_EQ(AppState::shared().rivalItem, line);
    EXPECT_FALSE(line->isVisible());

    processes.add(800, 1, 10, "/usr/local/bin/kmonad");
    processes.add(801, 1, 10, "/usr/bin/udevmon");
    menu.refreshChecks();  // the menu is opening
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(), QStringLiteral("Рядом работает Interception Tools, KMonad — правки могут спорить"));
    EXPECT_FALSE(line->isEnabled());

    processes.remove(800);
    processes.remove(801);
    InputRivals::report();  // the minute's check
    EXPECT_FALSE(line->isVisible());
}

// X11 does not say which client holds a grab: a chord of ours that another program holds
// makes that program a rival named by the chord.
TEST_F(Rivals, AProgramHoldingOurRevertChordIsARival) {
    sim::SimDesktop desktop;
    sim::SimEventTap tap(desktop);
    ScopedService<EventTap> tapScope(tap);
    tap.heldByOthers = {{6, KeyFlags::command | KeyFlags::option}};
    OwnedChords::grab();
    processes.add(800, 1, 10, "/usr/bin/kanata");
    EXPECT_EQ(InputRivals::running(), QStringList({"Kanata", QStringLiteral("программа с Ctrl+Alt+Z")}));
    InputRivals::report();
    EXPECT_EQ(InputRivals::menuLine(),
              QStringLiteral("Рядом работает Kanata, программа с Ctrl+Alt+Z — правки могут спорить"));
    tap.heldByOthers.clear();
    OwnedChords::grab();
    EXPECT_EQ(InputRivals::running(), QStringList({"Kanata"}));
    OwnedChords::resetForTesting();
}

}  // namespace
