// Polish of typed text, from the polish key to the corrected field: the key goes through the
// event tap to the switcher engine and on to polish, which asks the corrector stand-in and
// writes the answer back through the accessibility route or the key route.
#include "PolishSupport.h"

#include "LocalHttpServer.h"
#include "polish/CorrectorClient.h"

using namespace murmelo;

namespace {

using PolishTest = e2e::PolishDesk;

TEST_F(PolishTest, APolishKeyTapPunctuatesTheTypedSentenceWithinTheBudget) {
    startCorrector("привет как дела\tПривет, как дела?\n");
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("привет как дела"));
    const double released = tapPolishKey();
    // The typed sentence gets the corrector's comma and capital; the question mark the person
    // did not type stays out.
    ASSERT_TRUE(fieldBecomes(QStringLiteral("Привет, как дела"))) << desk.env.logText().toStdString();
    EXPECT_LE(desk.now() - released, PolishTap::TAP_DELAY + PolishLatency::BUDGET_MS / 1000.0);
    EXPECT_TRUE(desk.logHas("polish: одиночный тап"));
    EXPECT_TRUE(desk.logHas("(диапазон 0+15)"));
    EXPECT_EQ(desk.pastesPosted(), 0) << "the accessibility route writes in place";
    EXPECT_FALSE(engine.isCorrecting());

    // Tapped again, the paragraph is already polished up to its end: nothing is sent.
    tapPolishKey();
    EXPECT_TRUE(desk.logHas("polish/ax: current paragraph is already polished — no-op"));
}

TEST_F(PolishTest, ACorrectorErrorPageChangesNothing) {
    test::LocalHttpServer server;
    server.set("/correct", {500, QByteArrayLiteral("Internal error: Привет, как дела?")});
    endpoint.url = server.url("/correct");
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("привет как дела"));
    tapPolishKey();
    ASSERT_TRUE(desk.env.waitFor([&] { return desk.logHas("polish/ax: корректор недоступен ("); }, 20000));
    desk.wait(3.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет как дела"));
    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_FALSE(engine.isCorrecting());
}

// An application that takes neither accessibility writes nor selection requests gets the same
// edit through the key route: the range selected by arrow keys, the correction pasted over it.
TEST_F(PolishTest, TheAccessibilityRouteAndTheKeyRouteLandTheSameEdit) {
    startCorrector("вот текст без запятой который ждёт\tВот текст без запятой, который ждёт.\n");
    const QString typed = QStringLiteral("вот текст без запятой который ждёт");
    QStringList results;
    for (const bool keyRoute : {false, true}) {
        const QString app = keyRoute ? QStringLiteral("org.example.stubborn") : QStringLiteral("org.kde.kate");
        e2e::Field field = desk.open(app, QStringLiteral("Заметка\n"));
        field->refusesWrites = keyRoute;
        field->ignoresSelectionWrites = keyRoute;
        desk.type(typed);
        // The caret stands inside the sentence, as after a click back into it.
        desk.caret(12);
        const int written = desk.logCount(QStringLiteral("(диапазон 8+34)")) + desk.logCount(QStringLiteral("(выделением диапазона 8+34"));
        tapPolishKey();
        ASSERT_TRUE(desk.env.waitFor([&] {
            return desk.logCount(QStringLiteral("(диапазон 8+34)")) + desk.logCount(QStringLiteral("(выделением диапазона 8+34")) > written;
        }, 20000)) << desk.env.logText().toStdString();
        desk.wait(3.0);
        results << desk.fieldText();
    }
    EXPECT_EQ(results[0].toStdString(), results[1].toStdString());
    // The comma and the capital land; the full stop the model appended to the open sentence does not.
    EXPECT_EQ(results[0], QStringLiteral("Заметка\nВот текст без запятой, который ждёт"));
    EXPECT_EQ(desk.pastesPosted(), 1) << "only the key route pastes";
    // From the caret to the sentence's end, then back over it with Shift.
    EXPECT_TRUE(desk.logHas("polish/ax: выделил клавишами 34 симв. (64 нажатий), текст сверен"));
}

}  // namespace
