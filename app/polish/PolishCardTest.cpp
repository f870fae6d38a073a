#include "polish/PolishCard.h"

#include "TestEnvironment.h"
#include "platform/ComposeStage.h"

#include <QImage>
#include <QSet>
#include <QWidget>
#include <gtest/gtest.h>

using namespace murmelo;
using Kind = PolishDiff::Kind;
using Edit = PolishDiff::Edit;

namespace {

// The Linux wording of the undo hint (applications undo with Ctrl+Z).
const QString UNDO = QStringLiteral("Ctrl+Z — вернуть как было");

class PolishCardTest : public ::testing::Test {
protected:
    PolishCardTest() {
        env.defaults().set("polishEnabled", true);
        ComposeStage::resetForTesting();
        PolishCardController::resetStandCards();
    }
    ~PolishCardTest() override {
        ComposeStage::resetForTesting();
        PolishCardController::resetStandCards();
    }
    QStringList shownLines() const { return cards.currentBody() ? cards.currentBody()->lines() : QStringList(); }
    QString lastLine() const { return env.logLines().isEmpty() ? QString() : env.logLines().back().mid(9); }

    test::TestEnvironment env;
    // The known word forms of these tests.
    struct Known final : PolishCardController::WordForms {
        bool isKnownForm(const QString& word) override { return words.contains(word); }
        QSet<QString> words{"мыла", "кот", "пёс", "дом", "сад", "лес"};
    } known;
    PolishCardController cards{known};
};

TEST_F(PolishCardTest, OnlyAKnownWordReplacedByAnotherEarnsACard) {
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        QStringList lines;  // empty: no card
        const char* log;
    };
    std::vector<Edit> eight;
    for (const char* w : {"кот", "превет", "дом", "сад", "лес", "ну", "да", "нет"})
        eight.push_back({QString::fromUtf8(w), QString::fromUtf8(w) + "ы", Kind::word});
    const std::vector<Case> cases = {
        {"case and ё only",
         {{"москва", "Москва", Kind::caseOnly}, {"еще", "ещё", Kind::yo}, {"вася", "Вася", Kind::caseOnly}},
         {},
         "polish/card: молчу — видно в тексте или починка опечатки (регистр: 2 · ё: 1)"},
        {"a typo repair", {{"превет", "привет", Kind::word}}, {}, "polish/card: молчу — видно в тексте или починка опечатки ()"},
        {"a real word with a case and a ё edit",
         {{"Мыла", "мыло", Kind::word}, {"москва", "Москва", Kind::caseOnly}, {"еще", "ещё", Kind::yo}},
         {"Полировка", "Мыла → мыло", "регистр: 1 · ё: 1", UNDO},
         "polish/card: показано правок 3 (слов 1)"},
        {"eight word edits", eight,
         {"Полировка", "кот → коты", "превет → преветы", "дом → домы", "сад → сады", "лес → лесы", "ну → нуы",
          "и ещё 2", UNDO},
         "polish/card: показано правок 8 (слов 8)"},
        {"a change of the word count, not a single known word",
         {{"кот пёс", "котопёс", Kind::word}}, {}, "polish/card: молчу — видно в тексте или починка опечатки ()"},
        {"a change of the word count from one known word", {{"кот", "ко т", Kind::word}},
         {"Полировка", "кот → ко т", UNDO}, "polish/card: показано правок 1 (слов 1)"},
    };
    for (const Case& c : cases) {
        cards.hide();
        cards.show(c.edits);
        env.runPending();
        EXPECT_EQ(cards.isShowing(), !c.lines.isEmpty()) << c.name;
        if (!c.lines.isEmpty()) {
            EXPECT_EQ(shownLines(), c.lines) << c.name;
        }
        EXPECT_EQ(lastLine(), QString::fromUtf8(c.log)) << c.name;
    }
}

TEST_F(PolishCardTest, TheCardComesOnALaterTurnAndANewOneReplacesItWithItsOwnCountdown) {
    cards.show({{"кот", "кит", Kind::word}});
    EXPECT_FALSE(cards.isShowing()) << "never built inside the caller";
    env.runPending();
    ASSERT_TRUE(cards.isShowing());
    QWidget* first = cards.panel();
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowTransparentForInput)) << "ignores the mouse";
    EXPECT_TRUE(first->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(first->testAttribute(Qt::WA_ShowWithoutActivating));

    env.advance(3.0);
    cards.show({{"дом", "дым", Kind::word}});
    env.runPending();
    ASSERT_TRUE(cards.isShowing());
    EXPECT_NE(cards.panel(), first);
    EXPECT_EQ(shownLines()[1], "дом → дым");
    env.advance(1.5);  // past the first card's four seconds
    EXPECT_TRUE(cards.isShowing()) << "the first card's hide was cancelled";
    env.advance(2.6);
    EXPECT_FALSE(cards.isShowing());
}

TEST_F(PolishCardTest, ANoteCardShowsOnlyTheTitleAndTheNoteForItsOwnTime) {
    cards.showNote("Корректор не отвечает", true);
    env.runPending();
    ASSERT_TRUE(cards.isShowing());
    EXPECT_EQ(shownLines(), QStringList({"Полировка", "Корректор не отвечает"}));
    EXPECT_EQ(lastLine(), "polish/card: причина показана");
    env.advance(1.5);
    EXPECT_TRUE(cards.isShowing());
    env.advance(0.2);
    EXPECT_FALSE(cards.isShowing()) << "a short note lives 1.6 s";

    cards.showNote("Знаки появятся после загрузки модели");
    env.runPending();
    env.advance(3.9);
    EXPECT_TRUE(cards.isShowing());
    env.advance(0.2);
    EXPECT_FALSE(cards.isShowing());
}

TEST_F(PolishCardTest, WithPolishOffNothingIsShownOrLogged) {
    env.defaults().set("polishEnabled", false);
    const qsizetype lines = env.logLines().size();
    cards.show({{"кот", "кит", Kind::word}});
    cards.show({{"москва", "Москва", Kind::caseOnly}});
    cards.showNote("note");
    env.runPending();
    EXPECT_FALSE(cards.isShowing());
    EXPECT_EQ(env.logLines().size(), lines);
}

TEST_F(PolishCardTest, OnTheStandCardsAreKeptBackAsTexts) {
    ComposeStage::setStandMode(true);
    cards.show({{"кот", "кит", Kind::word}, {"лес", "лис", Kind::word}});
    EXPECT_EQ(lastLine(), "polish/card: card suppressed on the stand — 2 word edits");
    cards.showNote("Корректор не отвечает");
    EXPECT_EQ(lastLine(), "polish/card: note suppressed on the stand (21 chars)");
    env.runPending();
    EXPECT_FALSE(cards.isShowing());
    EXPECT_EQ(PolishCardController::standCards(), QStringList({"", "Корректор не отвечает"}));
}

TEST_F(PolishCardTest, SitsSixteenPointsInFromTheBottomRightOfTheVisibleFrame) {
    EXPECT_EQ(PolishCardController::cardOrigin(QRectF(1440, 70, 1920, 1010), QSizeF(220, 120)), QPointF(3124, 86));
    EXPECT_EQ(PolishCardController::cardOrigin(std::nullopt, QSizeF(220, 120)), QPointF(0, 0));
}

TEST_F(PolishCardTest, TheCardIsDrawnInBothAppearances) {
    QList<QRgb> centres;
    for (const bool dark : {false, true}) {
        const PolishCardBody body(std::nullopt, {{"кот", "кит", Kind::word}}, 3, "регистр: 1", true, dark);
        std::unique_ptr<QWidget> view(body.makeView());
        EXPECT_GE(view->width(), 190);
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view->render(&image);
        // The surface fills the card inside its rounded corners; the corner stays clear.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << dark;
        EXPECT_EQ(qAlpha(image.pixel(view->width() - 4, view->height() / 2)), 255) << dark;
        centres << image.pixel(view->width() - 4, view->height() / 2);
    }
    EXPECT_NE(centres[0], centres[1]) << "the colours follow the appearance";
}

}  // namespace
