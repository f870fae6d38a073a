#include "layout/LayoutManualConversion.h"

#include "input/ClipboardManager.h"
#include "input/InputTestFixture.h"
#include "layout/LayoutExceptionCard.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "sim/SimInputSources.h"
#include "stats/MonthlyStats.h"
#include "stats/MonthlyStatsSnapshot.h"

using namespace murmelo;

namespace {

const QString US = ManualInputSourceProfileV1::englishUS;
const QString RU = ManualInputSourceProfileV1::russianApple;

// Word checks of a host whose lexicon knows only the words the test names.
class WordsHost : public LayoutSwitcherHost {
public:
    QSet<QString> real;
    std::optional<bool> isRealWordInLayout(const QString& word, const QString&, bool) override {
        return real.contains(word);
    }
};

qint64 layoutCorrections() { return MonthlyStats::snapshot().record.layoutCorrections; }

// The engine with its manual conversion over the simulated desktop: a field of a text editor,
// the user's own clipboard, US and Russian layouts with US selected.
class ManualConversion : public test::SimInputTest {
public:
    ManualConversion() {
        manager.start();
        userClipboard.setData(Pasteboard::plainTextType, "user's own text");
        userClipboard.setData(QStringLiteral("text/html"), "<b>user's own text</b>");
        pasteboard.setItemsFromOtherApp({userClipboard});
        env.advance(1);  // the history takes the user's copy

        steps.sourceLayout = [](const QString& w) { return LayoutSwitcherHost::sourceLayout(w); };
        test::useOutput(steps, output, selection);
        steps.noteDisagreement = [this](const QString& word, const QString& why, std::optional<QUuid>) {
            disagreements << word + QStringLiteral(" / ") + why;
        };
        steps.isRemoteDesktopFrontmost = [this] { return remoteInFront; };
        test::useManualConversion(steps, manual);
    }

    std::shared_ptr<sim::SimField> open(const QString& value, const QString& bundle = QStringLiteral("org.kde.kate")) {
        return frontField(bundle, value);
    }

    // Looks without reading a promised text: a read would be the canary's signal.
    bool clipboardIsTheUsers() const {
        return pasteboard.types() == userClipboard.types() && pasteboard.items() == QList<PasteboardItem>{userClipboard};
    }
    void press(bool polishBound = false) {
        steps.noteRightShift(true, polishBound);
        steps.noteRightShift(false, polishBound);
    }
    void doubleShift(double gap = 0.1) {
        press();
        env.advance(gap);
        press();
    }

    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    ClipboardManager manager{&pasteboard};
    ScopedService<ClipboardManager> managerScope{manager};
    LayoutExceptionCardController cards;
    ScopedService<LayoutExceptionCardController> cardsScope{cards};
    WordsHost host;
    ScopedService<LayoutSwitcherHost> hostScope{host};
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    LayoutAppGates gates{engine};
    LayoutOutput output{engine, gates};
    test::HeardCues cues;
    LayoutSourceSelection selection{engine, cues};
    LayoutManualConversion manual{engine};
    PasteboardItem userClipboard;
    QStringList disagreements;
    bool remoteInFront = false;
};

TEST_F(ManualConversion, DoubleRightShiftConvertsTheWordBeforeTheCaret) {
    auto field = open(QStringLiteral("Привет ghbdtn"));
    const qint64 before = layoutCorrections();
    doubleShift();
    EXPECT_TRUE(engine.isCorrecting());
    env.advance(1);
    // A word the user converted himself is never converted back; the card says so.
    ASSERT_TRUE(cards.panel());
    EXPECT_EQ(cards.panel()->text(), QStringLiteral("«привет» — в исключениях"));
    env.advance(2);
    EXPECT_EQ(field->value, QStringLiteral("Привет привет"));
    EXPECT_EQ(field->caret(), field->value.size());
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_EQ(sources.currentSource()->id, RU);
    EXPECT_FALSE(engine.isCorrecting());
    EXPECT_EQ(layoutCorrections(), before + 1);
    EXPECT_TRUE(env.logContains(QStringLiteral("layout: двойной Shift → ручной конвертер")));
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "(lane.manual_explicit,text.manual_selected,source.select_exact_explicit), TIS запланирован + выучено")));
    EXPECT_TRUE(engine.exceptions.contains(QStringLiteral("привет")));
    EXPECT_EQ(cards.shownCount(), 1);
    // Nothing the conversion put on the clipboard reached the history.
    EXPECT_EQ(manager.items().size(), 1u);
}

TEST_F(ManualConversion, ASelectionIsConvertedRunByRunAndItsSpacesStay) {
    auto field = open(QStringLiteral("ghbdtn vbh, ok"));
    field->select(0, 10);
    doubleShift();
    env.advance(3);
    EXPECT_EQ(field->value, QStringLiteral("привет мир, ok"));
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(engine.exceptions.isEmpty());  // two words are no exception
    EXPECT_EQ(cards.shownCount(), 0);
    EXPECT_TRUE(env.logContains(QStringLiteral(", TIS запланирован")));
}

TEST_F(ManualConversion, TheUsersClipboardComesBackOnlyAfterTheFieldReadThePaste) {
    // A field that takes half a second to read the pasteboard after Command-V: a fixed 0.3 s
    // restore would have pasted the user's own clipboard into it.
    auto field = open(QStringLiteral("ghbdtn"));
    keys.setPasteReadDelay(0.5);
    doubleShift();
    env.advance(0.8);
    EXPECT_FALSE(clipboardIsTheUsers());
    env.advance(3);
    EXPECT_EQ(field->value, QStringLiteral("привет"));
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("(чтение подтверждено)")));
}

TEST_F(ManualConversion, TheGestureIsTwoPressesWithinThreeTenthsAndNoKeyBetween) {
    int conversions = 0;
    engine.manualConvertSink = [&] { ++conversions; };
    struct Case {
        const char* what;
        double gap;
        bool keyBetween;
        int expected;
    } cases[] = {
        {"0.29 s apart", 0.29, false, 1},
        {"0.3 s apart", 0.3, false, 0},
        {"a letter between", 0.1, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        conversions = 0;
        engine.lastRShift.reset();
        env.advance(5);
        press();
        env.advance(c.gap);
        if (c.keyBetween) engine.keyBetweenShifts = true;
        press();
        EXPECT_EQ(conversions, c.expected);
    }
    // A late second press starts a new pair, and a third quick press after a pair does too.
    conversions = 0;
    engine.lastRShift.reset();
    env.advance(5);
    press();
    env.advance(0.5);
    press();
    env.advance(0.1);
    press();
    EXPECT_EQ(conversions, 1);
    env.advance(0.1);
    press();
    EXPECT_EQ(conversions, 1);
}

TEST_F(ManualConversion, ThePolishKeySeesOnlyPressesThatAreNoGesture) {
    QStringList polish;
    steps.notePolishDown = [&] { polish << "down"; };
    steps.notePolishUp = [&] { polish << "up"; };
    steps.cancelPendingPolish = [&](const QString& why) { polish << why; };
    engine.manualConvertSink = [] {};
    press(true);
    env.advance(0.1);
    press(true);
    EXPECT_EQ(polish, QStringList({"down", "up", "двойной ⇧ — это ручной конвертер", "up"}));
}

TEST_F(ManualConversion, TakingBackTheEnginesOwnConversionCountsAgainstIt) {
    auto field = open(QStringLiteral("привет"));
    MonthlyStats::noteLayoutCorrection();  // the engine's own conversion of the word
    const qint64 before = layoutCorrections();
    const QUuid id = QUuid::createUuid();
    engine.lastConversionForVeto = LayoutSwitcher::LastLayoutConversion{id, QStringLiteral("ghbdtn"),
                                                                       QStringLiteral("привет"), env.clock().now()};
    sources.userSelects(RU);
    doubleShift();
    env.advance(3);
    EXPECT_EQ(field->value, QStringLiteral("ghbdtn"));
    EXPECT_TRUE(env.logContains(QStringLiteral("— считаем откатом (R46), вечным исключениям не учим")));
    EXPECT_EQ(disagreements, QStringList({"ghbdtn / ручной флип двойным ⇧"}));
    EXPECT_EQ(layoutCorrections(), before - 1);
    EXPECT_FALSE(engine.lastConversionForVeto.has_value());
    EXPECT_TRUE(engine.exceptions.isEmpty());
    EXPECT_EQ(cards.shownCount(), 0);
    EXPECT_EQ(sources.currentSource()->id, US);
}

TEST_F(ManualConversion, AWordFromTheExceptionsConvertedByHandLeavesThem) {
    engine.exceptions = {QStringLiteral("ghbdtn")};
    auto field = open(QStringLiteral("ghbdtn"));
    doubleShift();
    env.advance(1);
    EXPECT_EQ(field->value, QStringLiteral("привет"));
    EXPECT_FALSE(engine.exceptions.contains(QStringLiteral("ghbdtn")));
    EXPECT_TRUE(env.logContains(QStringLiteral(" − убрано из исключений")));
    ASSERT_EQ(cards.shownCount(), 1);
    EXPECT_EQ(cards.panel()->text(), QStringLiteral("«ghbdtn» — убрано из исключений"));
}

TEST_F(ManualConversion, OnlyLongLetterWordsWithoutARealTwinAreLearned) {
    host.real = {QStringLiteral("ghbdtn")};
    struct Case {
        const char* what;
        QString word;
        bool learned;
    } cases[] = {
        {"four letters", QStringLiteral("ТЕСТ"), true},
        {"three letters", QStringLiteral("дом"), false},
        {"a digit", QStringLiteral("тест1"), false},
        {"a hyphen", QStringLiteral("кто-то"), false},
        {"its twin is a real word", QStringLiteral("привет"), false},
        {"from the seed", QStringLiteral("docker"), false},
        {"33 letters", QString(33, QChar(0x0436)), false},
        {"32 letters", QString(32, QChar(0x0436)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine.exceptions.clear();
        EXPECT_EQ(manual.noteManualLearned(c.word), c.learned);
        EXPECT_EQ(engine.exceptions.contains(c.word.toLower()), c.learned);
    }
    EXPECT_TRUE(env.logContains(QStringLiteral("НЕ выучено — его двойник настоящее слово (dict-double)")));

    engine.exceptions.clear();
    for (int i = 0; i < 500; ++i) engine.exceptions.insert(QStringLiteral("слово") + QString(QChar(0x0430 + i % 32)).repeated(1 + i / 32));
    ASSERT_EQ(engine.exceptions.size(), 500);
    EXPECT_FALSE(manual.noteManualLearned(QStringLiteral("тест")));
}

TEST_F(ManualConversion, EndingsThatChangeNothingGiveTheClipboardBack) {
    struct Case {
        const char* what;
        QString value;
        std::function<void(ManualConversion&)> setUp;
        QString line;
    } cases[] = {
        {"nothing before the caret", QString(), {}, QStringLiteral("layout: ручная конвертация — нечего конвертировать")},
        {"digits only", QStringLiteral("2024"), {}, QStringLiteral("layout: ручная конвертация — без изменений")},
        // A remote viewer came to the front after the gesture: the arbiter says no.
        {"the arbiter refuses", QStringLiteral("ghbdtn"), [](ManualConversion& t) { t.remoteInFront = true; },
         QStringLiteral("layout: ручная конвертация заблокирована: scope.frontmost_unsupported")},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        remoteInFront = false;
        auto field = open(c.value, QStringLiteral("org.example.editor%1").arg(++n));
        engine.lastRShift.reset();
        doubleShift();
        if (c.setUp) c.setUp(*this);
        env.advance(3);
        EXPECT_TRUE(env.logContains(c.line));
        EXPECT_TRUE(clipboardIsTheUsers());
        EXPECT_EQ(field->value, c.value);
        EXPECT_FALSE(engine.isCorrecting());
        EXPECT_EQ(sources.currentSource()->id, US);
    }
}

TEST_F(ManualConversion, ASourceOutsideTheProfileSkipsTheGesture) {
    steps.systemSourceID = [] { return std::optional<QString>(QStringLiteral("com.apple.keylayout.German")); };
    auto field = open(QStringLiteral("ghbdtn"));
    doubleShift();
    env.advance(3);
    EXPECT_TRUE(env.logContains(QStringLiteral("layout: двойной Shift пропущен — input source вне профиля english-us-russian-apple.v1 или remote desktop")));
    EXPECT_EQ(field->value, QStringLiteral("ghbdtn"));
    EXPECT_FALSE(engine.isCorrecting());
}

TEST_F(ManualConversion, AUserCommandDuringTheCopyDropsTheConversion) {
    auto field = open(QStringLiteral("ghbdtn"));
    doubleShift();
    manager.cancelTemporaryLeaseForUserCommand();
    env.advance(3);
    EXPECT_EQ(field->value, QStringLiteral("ghbdtn"));
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_FALSE(engine.isCorrecting());
}

}  // namespace

#include "layout/LayoutStandTestSupport.h"

namespace {

// The engine in stand mode as the application joins it, with the manual conversion bound.
struct ManualStand : test::StandFixture {
    ClipboardManager clipboard{&pasteboard};
    ScopedService<ClipboardManager> clipboardScope{clipboard};
    LayoutExceptionCardController cards;
    ScopedService<LayoutExceptionCardController> cardsScope{cards};
    std::unique_ptr<LayoutManualConversion> manual;

    void SetUp() override {
        StandFixture::SetUp();
        manual = std::make_unique<LayoutManualConversion>(*engine);
        useManualConversion(steps, *manual);
        pasteboard.copyFromOtherApp(QStringLiteral("user's own text"));
    }
    void doubleShift() {
        for (int i = 0; i < 2; ++i) {
            steps.noteRightShift(true, false);
            steps.noteRightShift(false, false);
            env.advance(0.1);
        }
    }
};

TEST_F(ManualStand, DoubleRightShiftConvertsTheLastWordAndASelectionOnTheStage) {
    for (QChar c : QStringLiteral("ok ghbdtn")) stage->humanKey(QString(c));
    doubleShift();
    env.advance(2);
    EXPECT_EQ(stage->text(), QStringLiteral("ok привет"));
    EXPECT_EQ(stage->sourceID(), RU);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("user's own text"));

    stage->select(3, 9);  // "привет", now typed back on the English layout
    doubleShift();
    env.advance(2);
    EXPECT_EQ(stage->text(), QStringLiteral("ok ghbdtn"));
    EXPECT_EQ(stage->sourceID(), US);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("user's own text"));
    EXPECT_TRUE(keys.posted().empty()) << "nothing went past the stage";
    EXPECT_FALSE(engine->isCorrecting());
}

}  // namespace
