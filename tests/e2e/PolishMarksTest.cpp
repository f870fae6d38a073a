// A polish fix typed into the user's field is underlined, and the revert chord pressed on the
// keyboard takes back exactly that edit, even after the user typed the same word elsewhere.
#include "Desk.h"

#include "base/Defaults.h"
#include "input/AXText.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "platform/Service.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishKnownWords.h"
#include "polish/PolishTapConsumer.h"
#include "polish/PolishTyping.h"
#include "polish/PolishUnderline.h"
#include "sim/SimInputSources.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint16 kZ = 6;
constexpr quint64 kRevertChord = 0x100000 | 0x80000;  // Ctrl+Alt on the PC keyboard

class PolishMarksTest : public ::testing::Test {
protected:
    e2e::Desk desk;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts, LayoutRules::read([](const char*) { return std::optional<QString>(); }, Defaults::shared())};
    LayoutAppGates gates{engine};
    LayoutOutput output{engine, gates};
    SwitchSoundEffects effects;
    LayoutSourceSelection selection{engine, effects};
    ApplicationEditHealing healing{output};
    PolishEditDelivery delivery{engine, output, healing};
    PolishTapConsumer polishTap;
    ScopedService<TapPolish> polishScope{polishTap};

    void SetUp() override {
        PolishUnderline::resetForTesting();
        test::useOutput(steps, output, selection);
        desk.open("org.kde.kate")->frame = QRectF(100, 200, 800, 18);
    }
    void TearDown() override { PolishUnderline::resetForTesting(); }

    // What live polish does with a fix it could not write by accessibility: types it by keys
    // and underlines it.
    void polishByKeys(qsizetype at, const QString& have, const QString& want) {
        const AXElementPtr el = AXText::focused();
        const QString value = desk.fieldText();
        ASSERT_TRUE(delivery.polishTypeFix(el, value, AXRange{at, have.size()}, value.size(), have, want, "polish/live",
                                           PolishTyping::MAX_KEYS));
        PolishUnderline::show(el, at, have, want);
        desk.env.runPending();
    }
};

TEST_F(PolishMarksTest, TheRevertChordTakesBackExactlyThePolishedWord) {
    desk.type("мама мила раму ");
    polishByKeys(0, "мама мила раму", "мама мыла раму");
    EXPECT_EQ(desk.fieldText(), "мама мыла раму ");
    ASSERT_EQ(PolishUnderline::marks().size(), 1u);
    EXPECT_EQ(PolishUnderline::visiblePanels().size(), 1u);
    // The audit of the typed fix finds it in place.
    desk.wait(0.2);
    EXPECT_EQ(desk.cardsShown(), 0);

    // The user writes the same word in front before the underline is read again.
    desk.caret(0).type("мыла ");
    EXPECT_EQ(desk.fieldText(), "мыла мама мыла раму ");
    desk.press(kZ, kRevertChord);
    EXPECT_EQ(desk.fieldText(), "мыла мама мила раму ");
    EXPECT_TRUE(desk.logHas("polish/undo: "));
    EXPECT_TRUE(PolishKnownWords::polishExceptions().contains("мила"));
    EXPECT_TRUE(PolishUnderline::marks().empty());
    // The chord is the program's alone: the application never sees it.
    EXPECT_NE(std::find(desk.tap.grabbed.begin(), desk.tap.grabbed.end(), std::make_pair(int(kZ), kRevertChord)),
              desk.tap.grabbed.end());

    desk.press(kZ, kRevertChord);
    EXPECT_TRUE(desk.logHas("polish/undo: свежих правок нет — отменять нечего"));
    EXPECT_EQ(desk.fieldText(), "мыла мама мила раму ");
}

}  // namespace
