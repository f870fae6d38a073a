// The layout switcher's manual conversion and its rival warning, from the user's keys and the
// status menu.
#include "Desk.h"

#include "layout/InputRivals.h"
#include "layout/LayoutExceptionCard.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutManualConversion.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/Service.h"
#include "sim/SimInputSources.h"
#include "sim/SimProcesses.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint16 kRightShift = 60;
constexpr quint64 kShiftFlag = 0x20000;

// The switcher joined to the desk's tap as the application joins it.
class SwitcherTest : public ::testing::Test {
protected:
    SwitcherTest() {
        test::useOutput(steps, output, selection);
        steps.sourceLayout = [](const QString& w) { return LayoutSwitcherHost::sourceLayout(w); };
        test::useManualConversion(steps, manual);
        InputRivals::resetForTesting();
    }
    ~SwitcherTest() override { InputRivals::resetForTesting(); }

    void doubleRightShift() {
        desk.press(kRightShift, kShiftFlag);
        desk.wait(0.1);
        desk.press(kRightShift, kShiftFlag);
    }

    e2e::Desk desk;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    LayoutExceptionCardController cards;
    ScopedService<LayoutExceptionCardController> cardsScope{cards};
    sim::SimProcesses processes{500};
    ScopedService<Processes> processesScope{processes};
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    LayoutAppGates gates{engine};
    LayoutOutput output{engine, gates};
    test::HeardCues cues;
    LayoutSourceSelection selection{engine, cues};
    LayoutManualConversion manual{engine};
    test::NoPolish polish;
    LayoutSwitcherTap tap{engine, manual, polish};
    ScopedService<TapLayoutSwitcher> tapScope{tap};
};

TEST_F(SwitcherTest, DoubleRightShiftRetypesTheWordBeforeTheCaretAndKeepsTheClipboard) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Привет, "));
    desk.copy(QStringLiteral("user's own text"));
    desk.type(QStringLiteral("ghbdtn"));
    desk.pasteReadDelay(0.4);
    doubleRightShift();
    desk.wait(3);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет, привет"));
    EXPECT_EQ(desk.clipboardText(), QStringLiteral("user's own text"));
    EXPECT_EQ(sources.currentSource()->id, ManualInputSourceProfileV1::russianApple);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_TRUE(desk.logHas(QStringLiteral("layout: двойной Shift → ручной конвертер")));
    // The copy and the paste under the lease stay out of the history.
    ASSERT_EQ(desk.clipboardHistory().size(), 1u);
    EXPECT_EQ(desk.clipboardHistory()[0].text, QStringLiteral("user's own text"));
}

TEST_F(SwitcherTest, ALetterBetweenTheTwoPressesIsNoGesture) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("ghbdtn"));
    desk.press(kRightShift, kShiftFlag);
    desk.type(QStringLiteral("a"));
    desk.press(kRightShift, kShiftFlag);
    desk.wait(3);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ghbdtna"));
    EXPECT_EQ(desk.pastesPosted(), 0);
}

TEST_F(SwitcherTest, ARivalKeyboardProgramIsNamedInTheStatusMenu) {
    processes.add(900, 1, 4000, QStringLiteral("/usr/bin/kanata"));
    const QList<MenuEntry> menu = desk.openMenu();
    auto line = std::find_if(menu.begin(), menu.end(), [](const MenuEntry& e) { return e.name == "rivalItem"; });
    ASSERT_NE(line, menu.end());
    EXPECT_EQ(line->title, QStringLiteral("Рядом работает Kanata — правки могут спорить"));
    EXPECT_FALSE(line->hidden);
    EXPECT_TRUE(desk.logHas(QStringLiteral("⚠ РЯДОМ РАБОТАЕТ ЧУЖОЙ ПЕРЕХВАТЧИК: Kanata. ")));
}

}  // namespace
