#include "polish/PolishEditDelivery.h"

#include "input/DeliveryRepairCard.h"
#include "layout/LayoutWritingTestSupport.h"
#include "polish/PolishTyping.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// A polish fix typed into the simulated editor through the switcher's own output, and its
// audit on the manual clock. The field can lose the typed text, land it crooked, or stop
// answering; the rollback is a stand-in that records its calls.
struct PolishEditDeliveryTest : test::WritingRig {
    DeliveryRepairCardController cards;
    ScopedService<DeliveryRepairCardController> cardsScope{cards};
    // The repair switch and a rollback that records its calls.
    struct Healing final : PolishEditDelivery::Healing {
        bool isPolishEditRepairEnabled() override { return repairOn; }
        bool polishHeal(const AXElementPtr&, const QString& before, const QString& tag) override {
            heals << tag + "|" + before;
            return healAnswer;
        }
        bool repairOn = true;
        bool healAnswer = true;
        QStringList heals;
    } healing;
    bool& repairOn = healing.repairOn;
    bool& healAnswer = healing.healAnswer;
    QStringList& heals = healing.heals;
    std::unique_ptr<ApplicationEditHealing> programs;
    std::unique_ptr<PolishEditDelivery> delivery;

    void SetUp() override {
        WritingRig::SetUp();
        delivery = std::make_unique<PolishEditDelivery>(*engine, *out, healing);
    }
    void TearDown() override {
        cards.hide();
        delivery.reset();
        WritingRig::TearDown();
    }
    AXElementPtr el() { return ax.elementFor(field); }
    // The field holds text with the caret at its end; the stretch is the first `have`.
    bool typeFix(const QString& text, const QString& have, const QString& want, qint64 maxKeys = PolishTyping::MAX_KEYS,
                 std::optional<qint64> caret = std::nullopt, bool trustGap = false) {
        typed(text);
        return delivery->polishTypeFix(el(), text, AXRange{0, have.size()}, caret.value_or(text.size()), have, want,
                                       "polish/live", maxKeys, trustGap);
    }
    // From the first typed character on, the field does what `act` says instead.
    void onFirstTypedText(std::function<void()> act) {
        auto done = std::make_shared<bool>(false);
        keys.addObserver([this, act, done](const KeyEvent& e) {
            if (*done || !e.keyDown || e.unicode.isEmpty()) return;
            *done = true;
            act();
        });
    }
    bool logHas(const QString& s) const { return env.logContains(s); }
};

TEST_F(PolishEditDeliveryTest, RefusesBeforeAnyKeyIsSent) {
    struct Case {
        const char* name;
        QString text, have, want;
        qint64 maxKeys;
        std::optional<qint64> caret;
        const char* line;  // none: refused without a log line
    };
    const Case cases[] = {
        {"caret left of the stretch's end", "привет мир", "привет", "Привет", 24, 5, ": каретка левее конца правки"},
        {"caret beyond the text", "привет", "привет", "Привет", 24, 7, ": каретка левее конца правки"},
        {"a letter typed after the stretch", "привет м", "привет", "Привет", 24, std::nullopt,
         ": человек ушёл вперёд на 2 симв. — синтетикой не достать"},
        {"a line break in the edit", "ок\nда", "ок\nда", "Ок\nда", 24, std::nullopt,
         ": line break inside the packet — synthetic input cannot retype it, standing down"},
        {"25 Backspaces over a limit of 24", QString(25, 'a'), QString(25, 'a'), "b" + QString(24, 'a'), 24, std::nullopt,
         ": пакет 25 клавиш — больше потолка 24, синтетикой не ставлю"},
        {"201 Backspaces over the manual limit", QString(201, 'a'), QString(201, 'a'), "b" + QString(200, 'a'), 200,
         std::nullopt, ": пакет 201 клавиш — больше потолка 200"},
        {"nothing to change", "привет", "привет", "привет", 24, std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.clearPosted();
        const int linesBefore = env.logLines().size();
        EXPECT_FALSE(typeFix(c.text, c.have, c.want, c.maxKeys, c.caret));
        EXPECT_TRUE(keys.posted().empty());
        EXPECT_EQ(field->value, c.text);
        if (c.line) EXPECT_TRUE(logHas(QString("polish/live") + c.line));
        else EXPECT_EQ(env.logLines().size(), linesBefore);
    }
}

TEST_F(PolishEditDeliveryTest, APacketAtTheLimitIsSentAndALandedOneIsConfirmedSilently) {
    const QString text = QString(24, 'a');
    EXPECT_TRUE(typeFix(text, text, "b" + QString(23, 'a')));
    EXPECT_EQ(field->value, "b" + QString(23, 'a'));
    EXPECT_TRUE(logHas("polish/live: синтетикой снять 24, впечатать 24"));
    const int lines = env.logLines().size();
    env.advance(3.0);
    EXPECT_EQ(env.logLines().size(), lines);
    EXPECT_EQ(cards.shownCount(), 0);
}

TEST_F(PolishEditDeliveryTest, TheGapIsRetypedAndTheFixLands) {
    EXPECT_TRUE(typeFix("привет мир ", "привет мир", "Привет, мир"));
    EXPECT_EQ(field->value, "Привет, мир ");
    env.advance(2.0);
    EXPECT_EQ(cards.shownCount(), 0);
}

TEST_F(PolishEditDeliveryTest, ALostReplacementIsPastedBackOnceAndVerified) {
    onFirstTypedText([this] { field->dropsTypedText = true; });
    EXPECT_TRUE(typeFix("кот", "кот", "кит"));
    EXPECT_EQ(field->value, "к");
    field->dropsTypedText = false;
    env.advance(0.15);
    EXPECT_TRUE(logHas("polish/live: edit lost — the field holds the erased text without the replacement; pasting the "
                       "whole replacement (2 chars) back via clipboard (Kate)"));
    env.advance(1.5);
    EXPECT_EQ(field->value, "кит");
    EXPECT_TRUE(logHas("polish/live: repair verified — the replacement is in the field (Kate)"));
    EXPECT_EQ(cards.shownCount(), 0);
}

TEST_F(PolishEditDeliveryTest, ARepairThatDoesNotLandEitherGoesToTheCard) {
    onFirstTypedText([this] { field->dropsTypedText = true; });
    field->ignoresPaste = true;
    typeFix("кот", "кот", "кит");
    env.advance(0.15 + 1.5);
    EXPECT_TRUE(logHas("polish/live: the repair paste did not land either — the card offers a manual reinsert of 2 chars (Kate)"));
    EXPECT_EQ(cards.currentModel().kind, DeliveryRepairCardController::Kind::polish);
    EXPECT_EQ(cards.pendingText(), std::optional<QString>("ит"));
}

TEST_F(PolishEditDeliveryTest, NoPasteWhenTheFocusMovedToAnotherApplication) {
    onFirstTypedText([this] { field->dropsTypedText = true; });
    typeFix("кот", "кот", "кит");
    desktop.addApp("org.other", "Other");
    auto other = desktop.addField("org.other");
    desktop.focus("org.other", other);
    env.advance(0.15);
    EXPECT_TRUE(logHas("polish/live: edit lost, but the focus moved on — the card offers"));
    EXPECT_EQ(other->value, "");
    EXPECT_EQ(field->value, "к");
}

TEST_F(PolishEditDeliveryTest, AnUnreadableFieldIsReadThreeTimesThenTheCardSaysSo) {
    typeFix("кот", "кот", "кит");
    field->valueReadable = false;
    env.advance(0.15);
    EXPECT_EQ(env.logLines().filter("field unreadable after the packet — reading again").size(), 1);
    env.advance(0.45);
    EXPECT_EQ(cards.shownCount(), 0);
    env.advance(0.9);
    env.runPending();
    EXPECT_EQ(env.logLines().filter("field unreadable after the packet — reading again").size(), 1);
    EXPECT_TRUE(logHas("polish/live: field unreadable 3 reads after the packet — cannot prove the edit landed"));
    EXPECT_EQ(cards.shownCount(), 1);
}

TEST_F(PolishEditDeliveryTest, ACrookedLandingOfAPolishPacketIsRolledBack) {
    onFirstTypedText([this] { sim::SimDesktop::insertText(*field, "x"); });
    typeFix("кот", "кот", "кит");
    env.advance(0.15);
    EXPECT_TRUE(logHas("polish/live: синтетика не легла — в поле «"));
    EXPECT_EQ(heals, QStringList{"polish/live|кот"});
    EXPECT_EQ(cards.shownCount(), 0);
    // Refused, the card takes over.
    heals.clear();
    healAnswer = false;
    onFirstTypedText([this] { sim::SimDesktop::insertText(*field, "x"); });
    typeFix("кот", "кот", "кит");
    env.advance(0.15);
    EXPECT_EQ(heals.size(), 1);
    EXPECT_TRUE(logHas("edit not in place and the rollback could not undo it"));
}

TEST_F(PolishEditDeliveryTest, TheProgramsOwnRollbackTypesTheTextBack) {
    programs = std::make_unique<ApplicationEditHealing>(*out);
    delivery = std::make_unique<PolishEditDelivery>(*engine, *out, *programs);
    // The Backspaces were lost, the typing landed after the old text.
    typeFix("кот", "кот", "кит");
    typed("котит");
    env.advance(0.15);
    EXPECT_EQ(field->value, "кот");
    EXPECT_TRUE(logHas("polish/live: правка легла криво — вернул как было (снять 2, впечатать 0)"));
    EXPECT_EQ(cards.shownCount(), 0);
}

TEST_F(PolishEditDeliveryTest, WhileThePersonTypesTheFieldIsLeftAlone) {
    // The Backspaces were lost, the typing landed after the old text.
    typeFix("кот", "кот", "кит");
    typed("котит");
    ++engine->typedGen;
    env.advance(0.15);
    EXPECT_TRUE(heals.isEmpty());
    EXPECT_TRUE(logHas("polish/live: не легла, но человек уже печатает — не трогаю"));
    EXPECT_EQ(cards.shownCount(), 0);
    // Other text in the field: the card offers the fix.
    onFirstTypedText([this] { sim::SimDesktop::insertText(*field, "x"); });
    typeFix("кот", "кот", "кит");
    ++engine->typedGen;
    env.advance(0.15);
    EXPECT_TRUE(heals.isEmpty());
    EXPECT_TRUE(logHas("polish/live: edit lost while the person kept typing — the card offers"));
    EXPECT_EQ(field->value, "кxит");
}

TEST_F(PolishEditDeliveryTest, WithRepairSwitchedOffOnlyTheVerdictIsLogged) {
    repairOn = false;
    onFirstTypedText([this] { field->dropsTypedText = true; });
    typeFix("кот", "кот", "кит");
    env.advance(2.0);
    EXPECT_TRUE(logHas("polish/live: delivery verdict reinsert(ит) — repair is switched off (polishEditRepairOff)"));
    EXPECT_EQ(field->value, "к");
    EXPECT_EQ(cards.shownCount(), 0);
    // A landed packet says so too.
    field->dropsTypedText = false;
    typeFix("кот", "кот", "кит");
    env.advance(0.15);
    EXPECT_TRUE(logHas("polish/live: delivery verdict notNeeded(edit-landed) — repair is switched off"));
}

TEST_F(PolishEditDeliveryTest, TheProgramsSwitchTurnsRepairOff) {
    env.defaults().set("polishEditRepairOff", true);
    programs = std::make_unique<ApplicationEditHealing>(*out);
    delivery = std::make_unique<PolishEditDelivery>(*engine, *out, *programs);
    typeFix("кот", "кот", "кит");
    env.advance(0.15);
    EXPECT_TRUE(logHas("repair is switched off (polishEditRepairOff)"));
}

TEST_F(PolishEditDeliveryTest, TheSwitchersUndoPacketsAreAuditedWithoutRollback) {
    // The undo erased "кит" and was to paste "кот"; the field holds something else.
    typed("кит x");
    field->select(3);
    const DeliveryRepair::EditPacket packet{"кит", 3, "кит", "кот"};
    delivery->auditUndoEdit(el(), packet, engine->typedGen);
    env.advance(0.15);
    EXPECT_TRUE(heals.isEmpty());
    EXPECT_TRUE(logHas("layout/откат: синтетика не легла"));
    EXPECT_TRUE(logHas("layout/откат: edit not in place and the rollback could not undo it"));
    EXPECT_EQ(cards.currentModel().kind, DeliveryRepairCardController::Kind::undo);
}

// On a busy machine the application takes the undo's keys one by one, slower than the first
// read's delay: the field is read once they have landed, never half-way (a card for text
// that is on its way).
TEST_F(PolishEditDeliveryTest, AnUndoIsReadBackOnceItsKeysHaveLanded) {
    typed("кит");
    keys.setLandingDelay(0.1);
    for (int i = 0; i < 3; ++i)
        for (const bool down : {true, false}) keys.post({test::Keys::backspace, down});
    keys.post({0, true, 0, "кот"});
    delivery->auditUndoEdit(el(), DeliveryRepair::EditPacket{"кит", 3, "кит", "кот"}, engine->typedGen);
    env.advance(0.3);
    EXPECT_EQ(field->value, "к") << "the keys are still on their way";
    env.advance(1.0);
    EXPECT_EQ(field->value, "кот");
    EXPECT_FALSE(logHas("layout/откат: синтетика не легла"));
    EXPECT_EQ(cards.shownCount(), 0);
}

TEST_F(PolishEditDeliveryTest, AnUndoPacketIsNotRepairedWhenOneGestureUndoIsOff) {
    rebuild({{"MURMELO_RULE_ONE_GESTURE", "0"}});
    delivery = std::make_unique<PolishEditDelivery>(*engine, *out, healing);
    typed("");
    delivery->auditUndoEdit(el(), DeliveryRepair::EditPacket{"кит", 3, "кит", "кот"}, engine->typedGen);
    env.advance(0.15);
    EXPECT_TRUE(logHas("layout/откат: delivery verdict reinsert(кот) — repair is switched off (MURMELO_RULE_ONE_GESTURE=0 / "
                       "layoutOneGestureOff)"));
    EXPECT_EQ(field->value, "");
}

TEST_F(PolishEditDeliveryTest, ACheckAfterTheDeliveryIsGoneDoesNothing) {
    typeFix("кот", "кот", "кит");
    delivery.reset();
    field->valueReadable = false;
    env.advance(2.0);
    EXPECT_FALSE(logHas("field unreadable"));
}

}  // namespace
