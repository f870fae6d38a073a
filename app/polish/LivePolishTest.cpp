#include "polish/LivePolish.h"

#include "input/InputTestFixture.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishTestSupport.h"
#include "sim/SimInputSources.h"
#include "stats/TypingStats.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString kApp = QStringLiteral("org.example.Editor");

// What the test answers in place of live polish's parts; an empty slot answers as the
// application's part does.
struct LiveSteps {
    std::function<bool()> liveEnabled, polishEnabled, isRecording, cardEnabled;
    std::function<double()> quiet;
    std::function<void(const QString&, std::function<void(std::optional<QString>)>)> requestCorrection;
    std::function<LivePolish::Context(const QString&, const QString&, qint64)> polishContext;
    std::function<std::optional<LivePolish::FieldResult>(const QString&, const QString&, const LivePolish::Context&)>
        polishForField;
    std::function<bool(const AXElementPtr&, const QString&, AXRange, qint64, const QString&, const QString&,
                       const QString&, qint64, bool)>
        polishTypeFix;
    std::function<void(const AXElementPtr&, qint64, const QString&, const QString&)> underline;
    std::function<void(const QString&, const QString&, const QString&, qint64, std::optional<qint64>)> journalNote;
    std::function<void(const std::vector<PolishDiff::Edit>&)> showCardEdits;
};

class SteppedLiveParts final : public LivePolish::Parts {
public:
    explicit SteppedLiveParts(LiveSteps& steps) : s_(steps) {}
    bool liveEnabled() override { return s_.liveEnabled ? s_.liveEnabled() : app_.liveEnabled(); }
    bool polishEnabled() override { return s_.polishEnabled ? s_.polishEnabled() : app_.polishEnabled(); }
    bool isRecording() override { return s_.isRecording ? s_.isRecording() : app_.isRecording(); }
    double quiet() override { return s_.quiet ? s_.quiet() : app_.quiet(); }
    void requestCorrection(const QString& text, std::function<void(std::optional<QString>)> done) override {
        if (s_.requestCorrection) s_.requestCorrection(text, std::move(done));
        else app_.requestCorrection(text, std::move(done));
    }
    LivePolish::Context polishContext(const QString& chunk, const QString& text, qint64 at) override {
        return s_.polishContext ? s_.polishContext(chunk, text, at) : app_.polishContext(chunk, text, at);
    }
    std::optional<LivePolish::FieldResult> polishForField(const QString& raw, const QString& model,
                                                          const LivePolish::Context& context) override {
        return s_.polishForField ? s_.polishForField(raw, model, context) : app_.polishForField(raw, model, context);
    }
    bool polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                       const QString& want, const QString& tag, qint64 maxKeys, bool trustGap) override {
        if (s_.polishTypeFix) return s_.polishTypeFix(el, value, fix, caret, have, want, tag, maxKeys, trustGap);
        return app_.polishTypeFix(el, value, fix, caret, have, want, tag, maxKeys, trustGap);
    }
    void underline(const AXElementPtr& el, qint64 base, const QString& before, const QString& after) override {
        if (s_.underline) s_.underline(el, base, before, after);
        else app_.underline(el, base, before, after);
    }
    void journalNote(const QString& rule, const QString& before, const QString& after, qint64 at,
                     std::optional<qint64> pid) override {
        if (s_.journalNote) s_.journalNote(rule, before, after, at, pid);
        else app_.journalNote(rule, before, after, at, pid);
    }
    bool cardEnabled() override { return s_.cardEnabled ? s_.cardEnabled() : app_.cardEnabled(); }
    void showCardEdits(const std::vector<PolishDiff::Edit>& edits) override {
        if (s_.showCardEdits) s_.showCardEdits(edits);
        else app_.showCardEdits(edits);
    }

private:
    test::ProtectedWords words_;
    LiveSteps& s_;
    ApplicationLivePolishParts app_{words_};
};

// A live polish over its own switcher and a focused simulated field, with live polish
// switched on and a corrector that answers only when the test says so.
class LivePolishTest : public test::SimInputTest {
protected:
    LivePolishTest() {
        TypingStats::resetForTesting();
        PolishLatency::reset();
        env.defaults().set(QStringLiteral("logUserText"), true);
        field = frontField(kApp);
        engine = std::make_unique<LayoutSwitcher>(parts);
        live = std::make_unique<LivePolish>(*engine, liveParts);
        steps.liveEnabled = [] { return true; };
        steps.polishEnabled = [] { return true; };
        steps.isRecording = [this] { return recording; };
        steps.requestCorrection = [this](const QString& text, std::function<void(std::optional<QString>)> done) {
            sent.append(text);
            pending = std::move(done);
        };
        steps.polishContext = [](const QString&, const QString&, qint64) { return LivePolish::Context{}; };
        // The result step as the routes use it: the answer, less marks added to an open sentence.
        steps.polishForField = [this](const QString& raw, const QString& model, const LivePolish::Context&) {
            return std::optional<LivePolish::FieldResult>(
                LivePolish::FieldResult{stripAddedTerminator(raw, model), 0, true, trusted});
        };
        steps.polishTypeFix = [this](const AXElementPtr&, const QString& value, AXRange fix, qint64 caret,
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
        steps.underline = [this](const AXElementPtr&, qint64 base, const QString& before, const QString& after) {
            marks.append(QStringLiteral("%1 %2→%3").arg(base).arg(before, after));
        };
        steps.journalNote = [this](const QString& rule, const QString& before, const QString& after, qint64 at,
                                         std::optional<qint64> pid) {
            journal.append(QStringLiteral("%1 %2→%3 @%4 pid=%5").arg(rule, before, after).arg(at).arg(pid.has_value()));
        };
        steps.showCardEdits = [this](const std::vector<PolishDiff::Edit>& edits) { cards.push_back(edits); };
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
    LiveSteps steps;
    SteppedLiveParts liveParts{steps};
    test::ProtectedWords productWords;
    ApplicationLivePolishParts product{productWords};
    test::PartSlots switcherSteps;
    test::SlotParts parts{switcherSteps};
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

TEST_F(LivePolishTest, SwitchedOffTypingSchedulesNothing) {
    live = std::make_unique<LivePolish>(*engine, product);  // the product's switches
    type(QStringLiteral("привет как дела "));
    EXPECT_FALSE(live->hasPendingTick());
    env.advance(5.0);
    EXPECT_EQ(live->liveGen, 0);
    EXPECT_EQ(liveLines(), 0);
}

TEST_F(LivePolishTest, APauseAfterTypingPolishesTheSentenceInPlace) {
    type(QStringLiteral("привет как дела "));
    env.advance(LivePolish::POLISH_LIVE_QUIET - 0.01);
    EXPECT_TRUE(sent.isEmpty());  // every key postponed the tick
    env.advance(0.01);
    ASSERT_EQ(sent, QStringList{QStringLiteral("привет как дела")});
    EXPECT_TRUE(engine->isCorrecting());

    answer(QStringLiteral("Привет, как дела?"));
    EXPECT_EQ(field->value, QStringLiteral("Привет, как дела "));
    EXPECT_EQ(field->caret(), 17);
    EXPECT_FALSE(engine->isCorrecting());
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "polish/live: [привет как дела] -> [Привет, как дела] (диапазон 0+15, каретка 16+1, AX 0+6")));
    EXPECT_EQ(marks, QStringList{QStringLiteral("0 привет как дела→Привет, как дела")});
    EXPECT_EQ(journal, QStringList{QStringLiteral("vudi/live привет как дела→Привет, как дела @0 pid=1")});
    EXPECT_TRUE(cards.empty());  // the card is off unless asked for
    EXPECT_EQ(live->liveDone, QStringLiteral("Привет, как дела"));

    // Within the cooldown nothing is asked, even after more typing.
    type(QStringLiteral("что нового "));
    pause();
    EXPECT_EQ(sent.size(), 1);
    EXPECT_EQ(liveLines(), 1);
}

TEST_F(LivePolishTest, TheCardAndATrustedResultShowInTheLine) {
    env.defaults().set(QStringLiteral("polishCardEdits"), true);
    trusted = true;
    type(QStringLiteral("Она сказала что придёт "));
    pause();
    answer(QStringLiteral("Она сказала, что придёт."));
    EXPECT_EQ(field->value, QStringLiteral("Она сказала, что придёт "));
    EXPECT_TRUE(env.logContains(QStringLiteral("(диапазон 0+22, каретка 23+1, рубеж снят, AX 11+0")));
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0], (std::vector<PolishDiff::Edit>{
                            {"Она сказала что придёт", "Она сказала, что придёт", PolishDiff::Kind::punctuation}}));
}

TEST_F(LivePolishTest, RefusalsAreNotedOncePerAppAndReason) {
    auto noteFor = [](const QString& reason) {
        return QStringLiteral("polish/live: не берусь — ") + reason + QStringLiteral(" [Editor]");
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString reason;
    };
    const Case cases[] = {
        {"another edit holds the lock",
         [this] { engine->acquireEditLock(QStringLiteral("layout"), 5.0); }, "занят другой правкой"},
        {"no focused field", [this] { desktop.focus(kApp, nullptr), desktop.app(kApp)->focused = nullptr; },
         "AX не отдаёт поле в фокусе"},
        {"a password field", [this] { field->secure = true; }, "поле пароля"},
        {"read-only", [this] { field->editable = false; }, "поле не редактируемое (роль AXTextField)"},
        {"no value", [this] { field->valueReadable = false; },
         "значение поля не читается (роль AXTextField)"},
        {"no selection", [this] { field->selectionReadable = false; },
         "выделение не читается (роль AXTextField)"},
        {"a selection", [this] { field->select(0, 3); }, "есть выделение — человек собрался править сам"},
        {"editing inside a line", [this] { field->select(5); },
         "каретка не в конце строки — человек правит середину"},
        {"too short", [this] { field->value = QStringLiteral("как дела "), field->select(9); },
         "дописано меньше 12 символов"},
    };
    for (const Case& c : cases) {
        field->value = QStringLiteral("привет как дела  \t");
        field->select(15);
        field->secure = false, field->editable = true, field->valueReadable = true, field->selectionReadable = true;
        desktop.focus(kApp, field);
        live->liveLastNote.clear();
        const int before = liveLines();
        c.arrange();
        live->notePolishLiveTyping();
        pause();
        EXPECT_TRUE(env.logContains(noteFor(c.reason))) << c.name;
        EXPECT_EQ(liveLines(), before + 1) << c.name;
        EXPECT_TRUE(sent.isEmpty()) << c.name;
        if (auto lock = engine->editLock(); lock && lock->owner == QStringLiteral("layout")) engine->releaseEditLock(lock->token);
    }

    // The same note again within 30 s is not repeated; later it is.
    field->value = QStringLiteral("как дела ");
    field->select(9);
    const int before = env.logLines().size();
    live->notePolishLiveTyping();
    pause();
    EXPECT_EQ(env.logLines().size(), before);
    env.advance(LivePolish::POLISH_LIVE_NOTE_EVERY);
    live->notePolishLiveTyping();
    pause();
    EXPECT_EQ(env.logLines().size(), before + 1);
}

TEST_F(LivePolishTest, ADictationStopsTheTickSilentlyAndCancelsIt) {
    type(QStringLiteral("привет как дела "));
    recording = true;
    pause();
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_EQ(liveLines(), 0);

    recording = false;
    type(QStringLiteral(" "));
    live->cancelPolishLive();
    pause();
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(LivePolishTest, StaleAnswersAreDroppedAndReleaseTheLock) {
    struct Case {
        const char* name;
        std::function<void()> meanwhile;
        std::optional<QString> answer;
        QString line;  // empty: no line at all
    };
    const Case cases[] = {
        {"a key pressed meanwhile", [this] { engine->typedGen += 2; }, QStringLiteral("Привет, как дела?"),
         "polish/live: печатал, пока считали — не ставлю (клавиш за это время: 2)"},
        {"a dictation started", [this] { recording = true; }, QStringLiteral("Привет, как дела?"),
         "polish/live: dictation started while we were computing — standing down"},
        {"the text changed", [this] { field->value.replace(0, 1, QStringLiteral("П")); },
         QStringLiteral("Привет, как дела?"), "polish/live: текст изменился, пока считали — молчу"},
        {"no answer", [] {}, std::nullopt, {}},
        {"an empty answer", [] {}, QString(), {}},
        {"nothing to change", [] {}, QStringLiteral("привет как дела."), {}},
    };
    for (const Case& c : cases) {
        field->value = QStringLiteral("привет как дела ");
        field->select(16);
        recording = false;
        live->liveDone.clear();
        live->notePolishLiveTyping();
        pause();
        ASSERT_TRUE(pending) << c.name;
        const int before = env.logLines().size();
        c.meanwhile();
        answer(c.answer);
        EXPECT_FALSE(engine->isCorrecting()) << c.name;
        EXPECT_FALSE(field->value.contains(QStringLiteral(","))) << c.name;
        const QStringList lines = env.logLines().mid(before);
        if (c.line.isEmpty()) EXPECT_TRUE(lines.isEmpty()) << c.name;
        else EXPECT_TRUE(lines.size() == 1 && lines[0].endsWith(c.line)) << c.name << lines.join('\n').toStdString();
    }
}

TEST_F(LivePolishTest, TheSameChunkIsSentOnce) {
    type(QStringLiteral("привет как дела "));
    pause();
    answer(std::nullopt);
    live->notePolishLiveTyping();
    pause();
    EXPECT_EQ(sent.size(), 1);
}

TEST_F(LivePolishTest, AResultThatUndoesAnEarlierEditIsNotWritten) {
    type(QStringLiteral("привет как дела "));
    pause();
    answer(QStringLiteral("Привет, как дела"));
    ASSERT_EQ(field->value, QStringLiteral("Привет, как дела "));

    // The user turns the capital back; the model would capitalise it again.
    field->value.replace(0, 1, QStringLiteral("п"));
    env.advance(LivePolish::POLISH_LIVE_COOLDOWN);
    live->notePolishLiveTyping();
    pause();
    ASSERT_EQ(sent.size(), 2);
    answer(QStringLiteral("Привет, как дела"));
    EXPECT_EQ(field->value, QStringLiteral("привет, как дела "));
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/live: этот вариант уже ставили — не спорю сам с собой")));
    EXPECT_FALSE(engine->isCorrecting());
}

TEST_F(LivePolishTest, WithoutAnAccessibilityWriteTheFixIsTyped) {
    field->refusesWrites = true;
    type(QStringLiteral("привет как дела "));
    pause();
    answer(QStringLiteral("Привет, как дела?"));
    EXPECT_EQ(typeFixes, QStringList{QStringLiteral("polish/live 0+15 @16 привет как дела→Привет, как дела max24 gap0")});
    EXPECT_EQ(field->value, QStringLiteral("Привет, как дела "));
    // Typed by keys: the line names no accessibility write.
    EXPECT_TRUE(env.logLines().filter(QStringLiteral("polish/live: [")).value(0).endsWith(
        QStringLiteral("(диапазон 0+15, каретка 16+1")));

    // Keys that cannot do it either, or no caret to type from, leave the field alone.
    for (const bool withCaret : {true, false}) {
        live->liveDone.clear();
        live->liveWroteAt.reset();
        field->value = QStringLiteral("ну что ж пора идти ");
        field->select(field->value.size());
        typeFixWorks = false;
        live->notePolishLiveTyping();
        pause();
        if (!withCaret) field->select(0, 2);
        answer(QStringLiteral("Ну что ж, пора идти"));
        EXPECT_EQ(field->value, QStringLiteral("ну что ж пора идти ")) << withCaret;
        EXPECT_TRUE(env.logLines().last().endsWith(
            QStringLiteral("polish/live: ни узкая запись, ни синтетика не подошли — молчу")));
        EXPECT_FALSE(engine->isCorrecting());
    }
    EXPECT_EQ(typeFixes.size(), 2);  // none without a caret
}

TEST_F(LivePolishTest, CapitalAtTheStartOfASentence) {
    struct Case {
        const char* name;
        QString text;
        qint64 caret;
        bool writes;
        QString after;
    };
    const Case cases[] = {
        {"the first word", "привет", 6, true, "Привет"},
        {"after a sentence end", "Да. нет", 7, true, "Да. Нет"},
        {"after a line break and spaces", "Да\n  ну", 7, true, "Да\n  Ну"},
        {"more than 8 units from the start", "приветствую", 11, false, "приветствую"},
        {"not Russian", "hello", 5, false, "hello"},
        {"already a capital", "Привет", 6, false, "Привет"},
        {"the sentence's first word, whatever the caret's word", "да, нет", 7, true, "Да, нет"},
        {"a sentence that starts with a digit", "5 яблок", 7, false, "5 яблок"},
        {"the caret at the start", "привет", 0, false, "привет"},
    };
    for (const Case& c : cases) {
        live->liveCapPut.reset();
        field->value = c.text;
        field->select(c.caret);
        const AXElementPtr el = AXText::focused();
        EXPECT_EQ(live->liveCapitalize(el, c.text, c.caret), c.writes) << c.name;
        EXPECT_EQ(field->value, c.after) << c.name;
    }
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/cap: заглавная в начале фразы (позиция 4)")));

    // The user turns it back to lower case: never again in this sentence.
    field->value = QStringLiteral("привет");
    live->liveCapPut = QStringLiteral("Привет");
    EXPECT_FALSE(live->liveCapitalize(AXText::focused(), field->value, 6));
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/cap: заглавную вернули строчной — в этой фразе больше не настаиваю")));
    live->liveCapPut.reset();
    EXPECT_FALSE(live->liveCapitalize(AXText::focused(), field->value, 6));
    EXPECT_EQ(field->value, QStringLiteral("привет"));

    // The field moved on since the text was read.
    field->value = QStringLiteral("ну вот");
    EXPECT_FALSE(live->liveCapitalize(AXText::focused(), QStringLiteral("ну"), 2));
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/cap: текст уехал, пока считали позицию — заглавную не ставлю")));

    // A refused write is typed by keys within 24 Backspaces.
    field->value = QStringLiteral("так");
    field->select(3);
    field->refusesWrites = true;
    EXPECT_TRUE(live->liveCapitalize(AXText::focused(), field->value, 3));
    EXPECT_EQ(typeFixes.value(0), QStringLiteral("polish/cap 0+3 @3 так→Так max24 gap0"));
    EXPECT_EQ(field->value, QStringLiteral("Так"));
}
