// Polish as the user meets it on the desk: a selection, a field that tells accessibility
// nothing, typing on while the corrector works, the revert chord after a polish, and polish
// switched off while a request is out.
#include "PolishSupport.h"

#include "LocalHttpServer.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "polish/PolishSettings.h"
#include "polish/PolishTapConsumer.h"
#include "polish/PolishUnderline.h"
#include "sim/SimInputSources.h"

using namespace murmelo;

namespace {

constexpr quint16 kZ = 6;
constexpr quint64 kRevertChord = 0x100000 | 0x80000;  // Ctrl+Alt on the PC keyboard

// The switcher engine, polish and its underline marks joined to the desk's tap as start-up
// joins them, with the corrector stand-in answering from a script.
class PolishRoadsTest : public e2e::PolishDesk {
protected:
    bool logShows(const QString& fragment) {
        return desk.env.waitFor([&] { return desk.logHas(fragment); }, 20000);
    }

    PolishTapConsumer polishTap;
    ScopedService<TapPolish> polishTapScope{polishTap};
    // The switch works on the test's own corrector and card.
    struct OwnCorrectorSwitch : PolishSwitchSteps {
        void startCorrector(bool) override {}
        void stopCorrector() override {}
        void hideCard() override {}
    } switchSteps;
    ScopedService<PolishSwitchSteps> switchScope{switchSteps};
};

TEST_F(PolishRoadsTest, ASelectionIsPolishedAloneAndTheRestOfTheLineStays) {
    startCorrector("привет как дела\tПривет, как дела\n");
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("вот начало. привет как дела и всё"));
    desk.caret(12, 15);
    tapPolishKey();
    ASSERT_TRUE(fieldBecomes(QStringLiteral("вот начало. Привет, как дела и всё"))) << desk.env.logText().toStdString();
    EXPECT_TRUE(desk.logHas("(диапазон 12+15)"));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_FALSE(engine.isCorrecting());
}

// A field whose text accessibility cannot read goes the clipboard way: the line is selected by
// keys, copied, polished and pasted back, and the user's clipboard comes back afterwards.
TEST_F(PolishRoadsTest, AFieldWithoutAccessibilityIsPolishedThroughTheClipboard) {
    startCorrector("привет как дела\tПривет, как дела\n");
    e2e::Field field = desk.open(QStringLiteral("org.example.opaque"));
    field->valueReadable = false;
    desk.copy(QStringLiteral("чужое"));
    desk.type(QStringLiteral("привет как дела"));
    tapPolishKey();
    // Two copies, each given time to settle: the first finds no selection.
    desk.wait(2 * PolishRoutes::COPY_SETTLE);
    ASSERT_TRUE(logShows(QStringLiteral("(граница запомнена)"))) << desk.env.logText().toStdString();
    desk.wait(1.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет, как дела")) << desk.env.logText().toStdString();
    EXPECT_TRUE(desk.logHas("polish: AX-транспорт не годится — иду через буфер"));
    EXPECT_EQ(desk.pastesPosted(), 1);
    desk.wait(3.0);
    EXPECT_EQ(desk.clipboardText(), std::optional<QString>(QStringLiteral("чужое")));
    EXPECT_FALSE(engine.isCorrecting());
}

TEST_F(PolishRoadsTest, KeysTypedWhileTheCorrectorWorksKeepTheFieldAsTyped) {
    startCorrector("привет как дела\tПривет, как дела\n");
    desk.open(QStringLiteral("org.kde.kate"));
    desk.type(QStringLiteral("привет как дела"));
    tapPolishKey();
    desk.type(QStringLiteral(" и"));
    ASSERT_TRUE(logShows(QStringLiteral("polish/ax: печатал, пока считали — правку не ставлю")))
        << desk.env.logText().toStdString();
    desk.wait(3.0);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("привет как дела и"));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_FALSE(engine.isCorrecting());
}

// With the model trusted with spelling, a word it changed is underlined, and the revert chord
// puts the typed word back.
TEST_F(PolishRoadsTest, TheRevertChordTakesAPolishedWordBack) {
    desk.setting("polishTrustModel", true);
    words.protects = [](const QString&) { return false; };
    startCorrector("мама мила раму\tмама мыла раму\n");
    desk.open(QStringLiteral("org.kde.kate"))->frame = QRectF(100, 200, 800, 18);
    desk.type(QStringLiteral("мама мила раму"));
    tapPolishKey();
    ASSERT_TRUE(fieldBecomes(QStringLiteral("мама мыла раму"))) << desk.env.logText().toStdString();
    EXPECT_EQ(PolishUnderline::marks().size(), 1u);
    desk.press(kZ, kRevertChord);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("мама мила раму"));
    EXPECT_TRUE(PolishUnderline::marks().empty());
}

// Switched off while its request is out, polish writes nothing when the answer comes, on the
// accessibility route and on the clipboard route alike.
TEST_F(PolishRoadsTest, PolishSwitchedOffDuringARequestWritesNothing) {
    startCorrector("привет как дела\tПривет, как дела\n");
    for (const bool clipboardRoute : {false, true}) {
        SCOPED_TRACE(clipboardRoute ? "clipboard route" : "accessibility route");
        setPolishEnabled(true);
        e2e::Field field = desk.open(clipboardRoute ? QStringLiteral("org.example.opaque") : QStringLiteral("org.kde.kate"));
        field->valueReadable = !clipboardRoute;
        desk.type(QStringLiteral("привет как дела"));
        tapPolishKey();
        desk.wait(2 * PolishRoutes::COPY_SETTLE);
        ASSERT_TRUE(engine.isCorrecting()) << desk.env.logText().toStdString();
        setPolishEnabled(false);
        ASSERT_TRUE(desk.env.waitFor([&] { return !engine.isCorrecting(); }, 20000)) << desk.env.logText().toStdString();
        desk.wait(3.0);
        EXPECT_EQ(desk.fieldText(), QStringLiteral("привет как дела")) << desk.env.logText().toStdString();
        EXPECT_EQ(desk.pastesPosted(), 0);
    }
    EXPECT_TRUE(desk.logHas("polish/ax: полировку выключили, пока считали — правку не ставлю"));
    EXPECT_TRUE(desk.logHas("polish: полировку выключили, пока считали — вставку отменил"));
}

// A tap with the caret on an empty line finds nothing to polish on either route; the field,
// the clipboard and the edit lock are left as they were.
TEST_F(PolishRoadsTest, ATapOnAnEmptyLineLeavesEverythingAsItWas) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("первая строка\n\nтретья строка"));
    desk.copy(QStringLiteral("чужое"));
    desk.caret(14);
    tapPolishKey();
    desk.wait(1.0);
    EXPECT_TRUE(desk.logHas("абзац вокруг каретки пуст"));
    EXPECT_TRUE(desk.logHas("polish: нечего полировать (выдели текст)")) << desk.env.logText().toStdString();
    EXPECT_EQ(desk.fieldText(), QStringLiteral("первая строка\n\nтретья строка"));
    EXPECT_EQ(desk.clipboardText(), std::optional<QString>(QStringLiteral("чужое")));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_FALSE(engine.isCorrecting());
}

// An application that refuses accessibility writes gets the fix typed by keys at the caret;
// when the user has put the caret elsewhere meanwhile, keys typed there would erase the wrong
// text, so the fix is pasted over its selected range instead.
TEST_F(PolishRoadsTest, KeysAreNotTypedWhereTheCaretNoLongerIs) {
    startCorrector("привет как дела\tПривет, как дела\n");
    routes.polishKeysFirst = false;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    SwitchSoundEffects effects;
    LayoutSourceSelection selection{engine, effects};
    test::useOutput(steps, output, selection);
    e2e::Field field = desk.open(QStringLiteral("org.example.stubborn"));
    field->refusesWrites = true;
    desk.type(QStringLiteral("привет как дела"));
    tapPolishKey();
    desk.caret(3);
    ASSERT_TRUE(desk.env.waitFor([&] { return desk.logHas("polish/ax:"); }, 20000)) << desk.env.logText().toStdString();
    desk.wait(3.0);
    EXPECT_TRUE(desk.logHas("polish/ax: каретка ушла с места запроса (была 15, стала 3+0) — синтетикой не ставлю"));
    // The paste over the selected range still lands the fix in its place.
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет, как дела")) << desk.env.logText().toStdString();
}

}  // namespace
