#include "polish/LivePolish.h"

#include "input/InputTestFixture.h"
#include "layout/LayoutSwitcher.h"
#include "polish/CorrectorClient.h"
#include "sim/SimInputSources.h"
#include "stats/TypingStats.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString kApp = QStringLiteral("org.example.Editor");

// A live polish over its own switcher and a focused simulated field, with live polish
// switched on and a corrector that answers only when the test says so.
class LivePolishTest : public test::SimInputTest {
protected:
    LivePolishTest() {
        TypingStats::resetForTesting();
        PolishLatency::reset();
        env.defaults().set(QStringLiteral("logUserText"), true);
        field = frontField(kApp);
        engine = std::make_unique<LayoutSwitcher>();
        live = std::make_unique<LivePolish>(*engine);
        live->steps.liveEnabled = [] { return true; };
        live->steps.polishEnabled = [] { return true; };
        live->steps.isRecording = [this] { return recording; };
        live->steps.requestCorrection = [this](const QString& text, std::function<void(std::optional<QString>)> done) {
            sent.append(text);
            pending = std::move(done);
        };
        live->steps.polishContext = [](const QString&, const QString&, qint64) { return LivePolish::Context{}; };
        // The result step as the routes use it: the answer, less marks added to an open sentence.
        live->steps.polishForField = [this](const QString& raw, const QString& model, const LivePolish::Context&) {
            return std::optional<LivePolish::FieldResult>(
                LivePolish::FieldResult{stripAddedTerminator(raw, model), 0, true, trusted});
        };
        live->steps.polishTypeFix = [this](const AXElementPtr&, const QString& value, AXRange fix, qint64 caret,
                                           const QString& have, const QString& want, const QString& tag,
                                           qint64 maxKeys, bool trustGap) {
            typeFixes.append(QStringLiteral("%1 %2+%3 @%4 %5→%6 max%7 gap%8")
                                 .arg(tag)
                                 .arg(fix.location)
                                 .arg(fix.length)
                                 .arg(caret)
                                 .arg(have, want)
                                 .arg(maxKeys)
                                 .arg(trustGap));
            if (!typeFixWorks) return false;
            field->value = value.left(fix.location) + want + value.mid(fix.location + fix.length);
            field->select(field->value.size());
            return true;
        };
        live->steps.underline = [this](const AXElementPtr&, qint64 base, const QString& before, const QString& after) {
            marks.append(QStringLiteral("%1 %2→%3").arg(base).arg(before, after));
        };
        live->steps.journalNote = [this](const QString& rule, const QString& before, const QString& after, qint64 at,
                                         std::optional<qint64> pid) {
            journal.append(QStringLiteral("%1 %2→%3 @%4 pid=%5").arg(rule, before, after).arg(at).arg(pid.has_value()));
        };
        live->steps.showCardEdits = [this](const std::vector<PolishDiff::Edit>& edits) { cards.push_back(edits); };
    }
    ~LivePolishTest() override { PolishLatency::reset(); }

    // The user types the text at the end of the field; each key re-arms the tick.
    void type(const QString& text) {
        for (QChar c : text) {
            sim::SimDesktop::insertText(*field, QString(c));
            ++engine->typedGen;
            live->notePolishLiveTyping();
        }
    }
    void pause() { env.advance(LivePolish::POLISH_LIVE_QUIET); }
    void answer(const std::optional<QString>& text) {
        ASSERT_TRUE(pending);
        auto done = std::move(pending);
        pending = nullptr;
        done(text);
    }
    int liveLines() const { return env.logLines().filter(QStringLiteral("polish/live")).size(); }

    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    std::shared_ptr<sim::SimField> field;
    std::unique_ptr<LayoutSwitcher> engine;
    std::unique_ptr<LivePolish> live;
    bool recording = false;
    bool trusted = false;
    bool typeFixWorks = true;
    QStringList sent;
    std::function<void(std::optional<QString>)> pending;
    QStringList typeFixes, marks, journal;
    std::vector<std::vector<PolishDiff::Edit>> cards;
};

}  // namespace

TEST(StripAddedTerminatorTest, MarksAddedToAnOpenSentenceGo) {
    struct Case {
        const char* name;
        QString raw, fixed, out;
    };
    const Case cases[] = {
        {"an added question mark", "как дела", "Как дела?", "Как дела"},
        {"a typed one stays", "как дела?", "Как дела?", "Как дела?"},
        {"a typed one behind spaces stays", "как дела?  ", "Как дела?!", "Как дела?!"},
        {"a run of added marks", "ну и ну", "Ну и ну?!…", "Ну и ну"},
        {"a trailing space stops the removal", "да", "Да. ", "Да. "},
        {"empty raw", "", "Да.", "Да."},
        {"raw of spaces only", " \t\n", "Да.", "Да."},
        {"nothing to remove", "да", "Да", "Да"},
    };
    for (const Case& c : cases) EXPECT_EQ(stripAddedTerminator(c.raw, c.fixed), c.out) << c.name;
}

TEST_F(LivePolishTest, ScopeOfTheSentenceAtTheCaret) {
    struct Case {
        const char* name;
        QString text;
        qint64 caret;
        std::optional<AXRange> range;
        QString why;
    };
    const QString less = QStringLiteral("дописано меньше 12 символов");
    const Case cases[] = {
        {"the word being typed is left out, the rest is short", "Привет, как дела", 16, std::nullopt, less},
        {"after a space the whole sentence", "Привет, как дела ", 17, AXRange{0, 16}, {}},
        {"the caret past the end is clamped", "Привет, как дела ", 99, AXRange{0, 16}, {}},
        {"the current sentence only", "Раз. Привет, как дела ", 22, AXRange{5, 16}, {}},
        {"its own terminator is kept", "Привет, как дела? ", 18, AXRange{0, 17}, {}},
        {"a line break starts a sentence", "Первое\nпривет, как дела ", 24, AXRange{7, 16}, {}},
        {"one word being typed", "Приветствую", 11, std::nullopt, "человек печатает первое слово"},
        {"a shorter sentence", "Как дела? ", 10, std::nullopt, less},
        {"the caret at the start", "Привет", 0, std::nullopt, "каретка в начале поля"},
        {"only spaces", "  \n ", 4, std::nullopt, "дописанных слов ещё нет"},
        {"a fresh sentence with no word yet", "Привет, как дела.  ", 19, AXRange{0, 17}, {}},
    };
    for (const Case& c : cases) {
        const LivePolish::Scope scope = LivePolish::liveScope(c.text, c.caret);
        EXPECT_EQ(scope.range, c.range) << c.name;
        EXPECT_EQ(scope.why, c.why) << c.name;
        EXPECT_EQ(LivePolish::liveSentenceRange(c.text, c.caret), c.range) << c.name;
    }
}

TEST_F(LivePolishTest, ALongSentenceIsCutFromTheFrontAtAWordStart) {
    for (int i = 0; i < 4; ++i) PolishLatency::note(10, 50.0);  // 5 ms a character: 20 fit the budget
    ASSERT_EQ(PolishLatency::maxChars(LivePolish::POLISH_LIVE_MAX_CHARS), 20);
    struct Case {
        const char* name;
        QString text;
        AXRange range;
    };
    const Case cases[] = {
        {"the word the cut falls into is dropped", "раз два три четыре пять шесть ", {12, 17}},
        {"a word starting at the cut is dropped too", "раз два четыре пять шестьсот ", {15, 13}},
        {"a cut that leaves fewer than 12 keeps the sentence", "раз два три четырнадцать пятнадцать ", {0, 35}},
        {"a sentence within the budget is whole", "раз два три четыре ", {0, 18}},
    };
    for (const Case& c : cases) EXPECT_EQ(LivePolish::liveScope(c.text, c.text.size()).range, c.range) << c.name;

    PolishLatency::reset();
    for (int i = 0; i < 4; ++i) PolishLatency::note(10, 100.0);  // 10 ms a character: 10 fit, fewer than 12
    const LivePolish::Scope slow = LivePolish::liveScope(QStringLiteral("Привет, как дела "), 17);
    EXPECT_FALSE(slow.range);
    EXPECT_EQ(slow.why, QStringLiteral("модель на этой машине слишком медленная (10.00 мс/симв. по 4 ответам)"));
}
