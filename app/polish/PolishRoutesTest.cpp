#include "polish/PolishRoutes.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "input/AXText.h"
#include "input/ClipboardManager.h"
#include "input/SecureInput.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishJournal.h"
#include "polish/PolishTestSupport.h"
#include "polish/PolishUnderline.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"
#include "sim/SimSecureEventInput.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint16 kLeft = 123, kRight = 124, kC = 8, kV = 9;

// The polish routes of an engine of their own, on the simulated desktop, with a corrector the
// test starts on 127.0.0.1 that answers every text alike.
struct PolishRoutesTest : ::testing::Test {

    PolishRoutesTest() {
        AXText::resetForTesting();
        SecureInput::resetForTesting();
        PolishUnderline::resetForTesting();
        env.defaults().set("polishEnabled", true);
        clipboard.start();
        keys.addObserver([this](const KeyEvent& e) {
            if (e.keyDown) posted << e;
        });
    }
    ~PolishRoutesTest() override {
        clipboard.stop();
        PolishUnderline::resetForTesting();
        AXText::resetForTesting();
        SecureInput::resetForTesting();
    }

    std::shared_ptr<sim::SimField> open(const QString& value, const QString& role = QStringLiteral("AXTextArea")) {
        desktop.addApp("org.example.editor", "Editor");
        auto field = desktop.addField("org.example.editor", role, value);
        desktop.focus("org.example.editor", field);
        return field;
    }
    void answer(const QString& text, int status = 200) { server.set("/correct", {status, text.toUtf8()}); }
    // Serves the sockets until the line is written (the corrector's answer is real I/O).
    // Serves the sockets until the line is written once more than it was before.
    bool until(const QString& line) {
        const int before = env.logText().count(line);
        const bool seen = env.waitFor([&] { return env.logText().count(line) > before; }, 20000);
        if (!seen) ADD_FAILURE() << "no line " << line.toStdString() << " in:\n" << env.logText().toStdString();
        return seen;
    }
    // Serves the sockets until the corrector has the request: its answer is not handled yet.
    bool requested() {
        const int before = asked;
        return env.waitFor([&] { return (asked = server.requests()) > before; }, 20000);
    }
    // The note the polish card shows; empty without one.
    QString cardNote() const {
        return card.currentBody() ? card.currentBody()->note.value_or(QString()) : QString();
    }
    QString sent() const {
        const QByteArray request = server.lastRequest();
        return QString::fromUtf8(request.mid(request.indexOf("\r\n\r\n") + 4));
    }
    int count(quint16 code, quint64 flags = 0) const {
        int n = 0;
        for (const KeyEvent& e : posted) n += e.keyCode == code && (e.flags & flags) == flags && e.unicode.isEmpty();
        return n;
    }

    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster keys{desktop, pasteboard};
    sim::SimAccessibility ax{desktop};
    sim::SimSecureEventInput secure;
    ClipboardManager clipboard{&pasteboard};
    ScopedService<Workspace> workspaceScope{desktop};
    ScopedService<Pasteboard> pasteboardScope{pasteboard};
    ScopedService<KeyEventPoster> keysScope{keys};
    ScopedService<Accessibility> axScope{ax};
    ScopedService<SecureEventInput> secureScope{secure};
    ScopedService<ClipboardManager> clipboardScope{clipboard};
    test::LocalHttpServer server;
    CorrectorEndpoint endpoint{server.url("/correct")};
    ScopedService<CorrectorEndpoint> endpointScope{endpoint};
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    LayoutAppGates gates{engine};
    LayoutOutput output{engine, gates};
    test::ProtectedWords words;
    ApplicationEditHealing healing{output};
    PolishEditDelivery delivery{engine, output, healing};
    RuFormsWordForms forms;
    PolishCardController card{forms};
    PolishRoutes routes{engine, output, words, delivery, card};
    QList<KeyEvent> posted;
    int asked = 0;
};

// Each way into a field lands the same edit: the narrow accessibility write, the paste over a
// range selected by accessibility, and the paste over a range selected by arrow keys.
TEST_F(PolishRoutesTest, EveryRungLandsTheSameEdit) {
    const struct {
        const char* name;
        bool refusesWrites, ignoresSelection;
        int pastes, shiftLefts;
        const char* line;
    } cases[] = {
        {"narrow write", false, false, 0, 0, "(диапазон 7+15)"},
        {"selected by accessibility, pasted", true, false, 1, 0, "(выделением диапазона 7+15 + ⌘V)"},
        {"selected by keys, pasted", true, true, 1, 15, "(выделением диапазона 7+15 + ⌘V)"},
    };
    env.defaults().set("polishCardEdits", true);
    for (const auto& c : cases) {
        PolishJournal::clear();
        desktop = sim::SimDesktop();
        posted.clear();
        routes.scope = PolishScope();
        auto field = open(QStringLiteral("Начало\nпривет как дела\nконец"));
        field->select(10);  // in the middle paragraph
        field->refusesWrites = c.refusesWrites;
        field->ignoresSelectionWrites = c.ignoresSelection;
        answer(QStringLiteral("Привет, как дела?"));
        routes.polishTriggered(PolishScopeMode::currentParagraphUnpolished);
        ASSERT_TRUE(until(c.line)) << c.name;
        env.advance(3.0);
        EXPECT_EQ(field->value, QStringLiteral("Начало\nПривет, как дела\nконец")) << c.name;
        EXPECT_EQ(sent(), QStringLiteral("привет как дела")) << c.name;
        EXPECT_EQ(count(kV, KeyFlags::command), c.pastes) << c.name;
        EXPECT_EQ(count(kLeft, KeyFlags::shift), c.shiftLefts) << c.name;
        EXPECT_FALSE(engine.isCorrecting()) << c.name;
        // Each write is noted in the journal with its place, and its edits reach the card.
        ASSERT_EQ(PolishJournal::entries().size(), 1) << c.name;
        EXPECT_EQ(PolishJournal::entries().front().after, QStringLiteral("Привет, как дела")) << c.name;
        EXPECT_EQ(PolishJournal::entries().front().location, 7) << c.name;
    }
    PolishJournal::clear();
    EXPECT_TRUE(env.logContains("polish/card: молчу — видно в тексте или починка опечатки ("));
    EXPECT_TRUE(env.logContains("polish/ax: выделил клавишами 15 симв. (27 нажатий), текст сверен"));
    // A paste is confirmed by reading the field again.
    EXPECT_TRUE(env.logContains("polish/gate: после ⌘V правка подтверждена чтением 1"));
    // The user's clipboard came back after the pastes.
    EXPECT_EQ(pasteboard.string(), std::nullopt);
}

// Nothing is written when the answer cannot land where the text was.
TEST_F(PolishRoutesTest, NothingIsWrittenWhenTheFieldMovedOn) {
    const QString typed = QStringLiteral("привет как дела");
    const struct {
        const char* name;
        std::function<void(PolishRoutesTest&, sim::SimField&)> meanwhile;
        int status;
        const char* line;
        const char* note;  // on the polish card
    } cases[] = {
        {"the user typed", [](PolishRoutesTest& t, sim::SimField&) { ++t.engine.typedGen; }, 200,
         "polish/ax: печатал, пока считали — правку не ставлю", ""},
        {"the text changed", [](PolishRoutesTest&, sim::SimField& f) { f.value.replace(0, 6, QStringLiteral("пока")); }, 200,
         "polish/ax: текст изменился, пока считали — правку не ставлю", "Текст изменился, пока считали"},
        {"the corrector failed", [](PolishRoutesTest&, sim::SimField&) {}, 500, "polish/ax: корректор недоступен (", nullptr},
    };
    for (const auto& c : cases) {
        desktop = sim::SimDesktop();
        routes.scope = PolishScope();
        auto field = open(typed);
        answer(QStringLiteral("Привет, как дела?"), c.status);
        routes.polishTriggered(PolishScopeMode::currentParagraphUnpolished);
        ASSERT_TRUE(requested()) << c.name;
        c.meanwhile(*this, *field);
        const QString before = field->value;
        ASSERT_TRUE(until(c.line)) << c.name;
        env.advance(3.0);
        EXPECT_EQ(field->value, before) << c.name;
        EXPECT_FALSE(engine.isCorrecting()) << c.name;
        if (c.note) EXPECT_EQ(cardNote(), QString::fromUtf8(c.note)) << c.name;
        card.hide();
    }
    EXPECT_EQ(count(kV, KeyFlags::command), 0);
}

TEST_F(PolishRoutesTest, APasswordFieldIsNeverTouched) {
    auto field = open(QStringLiteral("секрет"), QStringLiteral("AXSecureTextField"));
    field->secure = true;
    routes.polishTriggered();
    env.advance(1.0);
    EXPECT_TRUE(env.logContains("polish/ax: поле пароля - не трогаем"));
    EXPECT_EQ(server.requests(), 0);
    EXPECT_TRUE(posted.isEmpty()) << "no clipboard route either";
}

// Without an accessible text the clipboard route copies the selection, polishes it and
// pastes it back; the user's clipboard returns once the field has read the paste.
TEST_F(PolishRoutesTest, TheClipboardRoutePastesOverTheCopiedSelection) {
    auto field = open(QStringLiteral("Итак: привет как дела"));
    field->valueReadable = false;
    field->select(6, 15);
    pasteboard.copyFromOtherApp(QStringLiteral("мой буфер"));
    keys.setPasteReadDelay(1.0);
    answer(QStringLiteral("Привет, как дела?"));
    routes.polishTriggered();
    EXPECT_TRUE(env.logContains("polish/ax: транспорт не годится — значение поля не читается (роль AXTextArea) [Editor]"));
    env.advance(PolishRoutes::COPY_SETTLE);
    ASSERT_TRUE(until("(граница запомнена)"));
    EXPECT_EQ(sent(), QStringLiteral("привет как дела"));
    env.advance(0.5);
    EXPECT_FALSE(engine.isCorrecting());
    EXPECT_EQ(field->value, QStringLiteral("Итак: привет как дела")) << "the field has not read the paste yet";
    // Looking at the types does not count as a read.
    EXPECT_TRUE(pasteboard.types().contains(QStringLiteral("org.nspasteboard.TransientType")))
        << "the clipboard waits for the read, not a timer";
    env.advance(1.0);
    EXPECT_EQ(field->value, QStringLiteral("Итак: Привет, как дела"));
    env.advance(1.0);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("мой буфер"));
    EXPECT_EQ(count(kC, KeyFlags::command), 1);
}

// While the corrector works the person may click elsewhere, switch applications or move the
// caret: the still selected text is then not where the paste would land, and nothing is pasted.
TEST_F(PolishRoutesTest, TheClipboardRouteStandsDownWhenThePersonMovedOn) {
    const struct {
        const char* name;
        std::function<void(PolishRoutesTest&, sim::SimField&)> meanwhile;
        const char* why;
    } cases[] = {
        {"a click", [](PolishRoutesTest& t, sim::SimField&) { t.engine.noteCursorMoved(); }, "щёлкнул или сменил окно"},
        {"another application", [](PolishRoutesTest& t, sim::SimField&) {
             t.desktop.addApp("org.example.chat", "Chat");
             t.desktop.addField("org.example.chat");
             t.desktop.focus("org.example.chat");
         }, "сменил приложение"},
        {"the caret moved", [](PolishRoutesTest&, sim::SimField& f) { f.select(2); }, "сдвинул каретку"},
    };
    for (const auto& c : cases) {
        desktop = sim::SimDesktop();
        routes.scope = PolishScope();
        auto field = open(QStringLiteral("привет как дела"));
        field->valueReadable = false;
        field->select(0, 15);
        answer(QStringLiteral("Привет, как дела?"));
        routes.polishSelection();
        env.advance(PolishRoutes::COPY_SETTLE);
        ASSERT_TRUE(requested()) << c.name;
        c.meanwhile(*this, *field);
        ASSERT_TRUE(until(QStringLiteral("polish: пока считали, человек ") + c.why +
                          QStringLiteral(" — вставку отменил (правка легла бы не туда)")))
            << c.name;
        env.advance(1.0);
        EXPECT_FALSE(engine.isCorrecting()) << c.name;
        EXPECT_EQ(field->value, QStringLiteral("привет как дела")) << c.name;
    }
    EXPECT_EQ(count(kV, KeyFlags::command), 0);
}

}  // namespace

namespace {

TEST_F(PolishRoutesTest, SelectingARange) {
    const QString a500(500, u'a');
    const struct {
        const char* name;
        QString value;
        qint64 caret, selected;
        bool ignoresSelection, allowKeys;
        AXRange range;
        PolishRangeSelect want;
        const char* line;
        int keys;
    } cases[] = {
        {"the person already selected it", "раз два три", 4, 3, false, true, {4, 3}, PolishRangeSelect::done,
         "t: диапазон 4+3 уже выделен человеком — не трогаю", 0},
        {"past the end is clamped", "раз два", 0, 0, false, true, {4, 10}, PolishRangeSelect::done,
         "t: диапазон прижат к полю (просили 4+10, поле 7 симв. → 4+3)", 0},
        {"wholly past the end", "раз два", 0, 0, false, true, {9, 3}, PolishRangeSelect::empty,
         "t: после прижатия к полю (7 симв.) выделять нечего — отказ", 0},
        {"the whole field by select-all", "раз два", 2, 0, true, true, {0, 7}, PolishRangeSelect::done,
         "t: выделил всё поле ⌘A (7 симв.)", 1},
        {"no keys allowed", "раз два три", 0, 0, true, false, {4, 3}, PolishRangeSelect::refused,
         "t: выделение не встало (просили 4+3, в поле 0+0, поле 11 симв.) — диапазон ВНУТРИ поля", 0},
        {"a plan of 400 keys is sent", a500, 500, 0, true, true, {100, 100}, PolishRangeSelect::done,
         "t: выделил клавишами 100 симв. (400 нажатий), текст сверен", 400},
        {"a plan of 401 keys is not", a500, 500, 0, true, true, {99, 100}, PolishRangeSelect::refused,
         "t: выделение 401 клавиш — больше потолка 400, клавишами не ставлю", 0},
    };
    for (const auto& c : cases) {
        desktop = sim::SimDesktop();
        posted.clear();
        auto field = open(c.value);
        field->select(c.caret, c.selected);
        field->ignoresSelectionWrites = c.ignoresSelection;
        const PolishRangeSelect got = routes.polishSelectRange(ax.elementFor(field), c.range, QStringLiteral("t"), c.allowKeys);
        EXPECT_EQ(got, c.want) << c.name;
        EXPECT_TRUE(env.logContains(c.line)) << c.name;
        EXPECT_EQ(posted.size(), c.keys) << c.name;
        if (got == PolishRangeSelect::done) {
            const AXRange r = PolishSelect::clamp(c.range, c.value.size());
            EXPECT_EQ(field->selectedText(), c.value.mid(r.location, r.length)) << c.name;
        }
    }

    // Keys go only to the application in front.
    desktop = sim::SimDesktop();
    auto behind = open(QStringLiteral("раз два три"));
    behind->ignoresSelectionWrites = true;
    desktop.addApp("org.example.chat", "Chat");
    desktop.focus("org.example.chat", desktop.addField("org.example.chat"));
    posted.clear();
    EXPECT_EQ(routes.polishSelectRange(ax.elementFor(behind), {4, 3}, QStringLiteral("t"), true), PolishRangeSelect::refused);
    EXPECT_TRUE(env.logContains("t: поле не у фронтового приложения — клавишами не выделяю"));
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(PolishRoutesTest, ParagraphRanges) {
    const QString text = QStringLiteral("раз\nдва три\r\n\nчетыре");
    EXPECT_EQ(PolishRoutes::paragraphRange(text, 6), (AXRange{4, 7}));
    EXPECT_EQ(PolishRoutes::paragraphRange(text, 4), (AXRange{4, 7})) << "at the paragraph's start";
    EXPECT_EQ(PolishRoutes::paragraphRange(text, 13), (AXRange{13, 0})) << "an empty line";
    EXPECT_EQ(PolishRoutes::paragraphRange(text, 99), (AXRange{14, 6})) << "clamped to the end";
    EXPECT_EQ(PolishRoutes::paragraphRange(QString(), 3), (AXRange{0, 0}));
}

// Without a selection the clipboard route selects the paragraph: by accessibility where the
// field allows it, else the line by Home and Shift-End; with neither there is nothing to polish.
TEST_F(PolishRoutesTest, TheClipboardRouteSelectsTheParagraphItself) {
    // Accessibility reads no value, so the line is selected by keys.
    auto field = open(QStringLiteral("первая строка\nпривет как дела"));
    field->valueReadable = false;
    field->select(20);
    answer(QStringLiteral("Привет, как дела?"));
    routes.polishTriggered();
    env.advance(PolishRoutes::COPY_SETTLE);
    EXPECT_TRUE(env.logContains("polish: абзац через AX не выделить — поля нет, иду стрелками"));
    env.advance(PolishRoutes::COPY_SETTLE);
    ASSERT_TRUE(until("(граница запомнена)"));
    env.advance(3.0);
    EXPECT_EQ(field->value, QStringLiteral("первая строка\nПривет, как дела"));
    EXPECT_EQ(count(115), 1);
    EXPECT_EQ(count(119, KeyFlags::shift), 1);

    // The caret on an empty line: the accessibility route stands down, the clipboard route
    // finds nothing to copy either.
    desktop = sim::SimDesktop();
    field = open(QStringLiteral("раз\n\nтри"));
    field->select(4);
    routes.polishTriggered();
    EXPECT_TRUE(env.logContains("polish/ax: транспорт не годится — абзац вокруг каретки пуст [Editor]"));
    env.advance(1.0);
    EXPECT_TRUE(env.logContains("polish: абзац вокруг каретки пуст — стрелками этого не исправить"));
    EXPECT_EQ(cardNote(), QStringLiteral("Нечего полировать — выдели текст"));
    EXPECT_TRUE(env.logContains("polish: нечего полировать (выдели текст)"));
    EXPECT_EQ(field->value, QStringLiteral("раз\n\nтри"));
    EXPECT_FALSE(engine.isCorrecting());
}

// A terminal selects nothing with keys, and xterm would take the copy key as ^C: polish
// sends no key there and says why.
TEST_F(PolishRoutesTest, PolishInATerminalSendsNoKeyAndSaysWhy) {
    auto field = open(QStringLiteral("ls -la"));
    keys.terminalApps[desktop.frontmostApplication()->bundleIdentifier] = FrontEditing::terminalWithoutClipboardKeys;
    routes.polishSelection();
    env.advance(1.0);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(cardNote(), QStringLiteral("В терминале полировка не работает — выдели текст в редакторе"));
    EXPECT_FALSE(engine.isCorrecting());
}

// The safety release frees the clipboard route's own hold of the edit lock, never a later one.
TEST_F(PolishRoutesTest, TheSafetyReleaseLeavesALaterHoldAlone) {
    auto field = open(QStringLiteral("Уже чисто."));
    field->valueReadable = false;
    field->select(0, 10);
    answer(QStringLiteral("Уже чисто."));
    routes.polishSelection();
    EXPECT_TRUE(engine.isCorrecting());
    env.advance(PolishRoutes::COPY_SETTLE);
    ASSERT_TRUE(until("polish: новое уже чистое, граница сдвинута"));
    EXPECT_FALSE(engine.isCorrecting());
    env.advance(5.0);
    ASSERT_TRUE(engine.acquireEditLock(QStringLiteral("layout"), 30.0).has_value());
    env.advance(PolishRoutes::SAFETY_RELEASE);
    EXPECT_TRUE(engine.isCorrecting());
    EXPECT_EQ(engine.editLock()->owner, QStringLiteral("layout"));
}

TEST_F(PolishRoutesTest, GesturesThatDoNotPolish) {
    auto field = open(QStringLiteral("привет как дела"));
    answer(QStringLiteral("Привет, как дела?"));
    // The polish key used as a modifier for another key is no tap.
    routes.notePolishDown();
    ++engine.typedGen;
    routes.notePolishUp();
    env.advance(1.0);
    EXPECT_FALSE(env.logContains("polish: одиночный тап"));

    // Double space is switched off; switched on, two spaces in time polish the sentence
    // without the clipboard.
    routes.noteSpaceTyped();
    routes.noteSpaceTyped();
    env.advance(1.0);
    EXPECT_FALSE(env.logContains("двойной пробел"));
    routes.doubleSpaceEnabled = true;
    routes.noteSpaceTyped();
    env.advance(0.7);
    routes.noteSpaceTyped();
    env.advance(1.0);
    EXPECT_FALSE(env.logContains("двойной пробел")) << "0.7 s apart is no pair";
    routes.noteSpaceTyped();
    env.advance(0.6);
    routes.noteSpaceTyped();
    env.advance(PolishRoutes::POLISH_DOUBLE_SPACE_SETTLE);
    EXPECT_TRUE(env.logContains("polish: двойной пробел — правлю законченное предложение"));
    ASSERT_TRUE(until("(диапазон 0+15)"));
    EXPECT_EQ(field->value, QStringLiteral("Привет, как дела"));

    // An observer takes the gesture instead.
    std::optional<PolishScopeMode> seen;
    routes.polishGestureSink = [&](PolishScopeMode mode) { seen = mode; };
    routes.polishTriggered(PolishScopeMode::currentParagraphUnpolished);
    EXPECT_EQ(seen, PolishScopeMode::currentParagraphUnpolished);
    EXPECT_EQ(server.requests(), 1);
}

}  // namespace
