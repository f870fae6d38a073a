#include "input/InputTestFixture.h"

#include "base/Defaults.h"

namespace murmelo::test {
namespace {

using AXTextTest = SimInputTest;

// Replacement of a range in fields holding Cyrillic and emoji (surrogate pairs): ranges are
// UTF-16 code units throughout.
TEST_F(AXTextTest, ReplacesRangesCountedInUtf16Units) {
    struct Case {
        const char* name;
        QString value;
        AXRange range;
        QString text;
        QString expected;
    };
    const QString wave = QStringLiteral("👋");
    ASSERT_EQ(wave.size(), 2);
    const std::vector<Case> cases = {
        {"emoji replaced by two emoji", QStringLiteral("Привет 👋 мир"), {7, 2}, QStringLiteral("🙂🙂"),
         QStringLiteral("Привет 🙂🙂 мир")},
        {"cyrillic word after an emoji", QStringLiteral("👋 ghbdtn"), {3, 6}, QStringLiteral("привет"),
         QStringLiteral("👋 привет")},
        {"insertion at the very end", QStringLiteral("ёж 🦔"), {5, 0}, QStringLiteral("!"), QStringLiteral("ёж 🦔!")},
        {"whole value", QStringLiteral("Ы"), {0, 1}, QStringLiteral("👍 да"), QStringLiteral("👍 да")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AXText::resetForTesting();
        auto field = frontField(QStringLiteral("com.example.notes"), c.value);
        desktop.focus(QStringLiteral("com.example.notes"), field);
        auto el = AXText::focused();
        ASSERT_TRUE(el);
        ASSERT_EQ(AXText::value(el), c.value);
        EXPECT_TRUE(AXText::replace(el, c.range, c.text, true));
        EXPECT_EQ(field->value, c.expected);
        EXPECT_EQ(AXText::value(el), c.expected);
        // The caret ends right after the inserted text, in code units.
        EXPECT_EQ(AXText::selectedRange(el), (AXRange{c.range.location + c.text.size(), 0}));
        EXPECT_FALSE(AXText::lastWriteWholeValue());
    }
}

TEST_F(AXTextTest, RangeBeyondTheValueWritesNothing) {
    auto field = frontField(QStringLiteral("com.example.notes"), QStringLiteral("да👋"));
    auto el = AXText::focused();
    const int writesBefore = ax.writes;
    EXPECT_FALSE(AXText::replace(el, AXRange{4, 1}, QStringLiteral("x"), true));
    EXPECT_FALSE(AXText::replace(el, AXRange{-1, 0}, QStringLiteral("x"), true));
    EXPECT_EQ(ax.writes, writesBefore);
    EXPECT_EQ(field->value, QStringLiteral("да👋"));
    EXPECT_FALSE(env.logContains(QStringLiteral("ax/write")));
}

TEST_F(AXTextTest, FieldThatRefusesSelectedTextGetsTheWholeValue) {
    auto field = frontField(QStringLiteral("com.example.web"), QStringLiteral("мир 🌍 тесен"));
    field->selectedTextSettable = false;
    field->select(0);
    auto el = AXText::focused();
    ASSERT_TRUE(AXText::replace(el, AXRange{4, 2}, QStringLiteral("шар"), true));
    EXPECT_EQ(field->value, QStringLiteral("мир шар тесен"));
    EXPECT_EQ(AXText::selectedRange(el), (AXRange{7, 0}));
    EXPECT_TRUE(AXText::lastWriteWholeValue());
    EXPECT_TRUE(env.logContains(QStringLiteral("ax/write: поле не приняло замену выделенного, записал значение целиком")));
}

TEST_F(AXTextTest, NoRouteOpenFailsWithItsReasonAndLeavesTheField) {
    auto field = frontField(QStringLiteral("com.example.web"), QStringLiteral("abc"));
    field->selectedTextSettable = false;
    auto el = AXText::focused();
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    EXPECT_EQ(field->value, QStringLiteral("abc"));
    EXPECT_TRUE(env.logContains(QStringLiteral("ax/write: web — поле не принимает ни замену выделенного, ни значение (промах 1 из 2)")));
}

TEST_F(AXTextTest, LongValuesAreNeverWrittenWhole) {
    auto field = frontField(QStringLiteral("com.example.web"), QString(5001, QChar('a')));
    field->selectedTextSettable = false;
    EXPECT_FALSE(AXText::replace(AXText::focused(), AXRange{0, 1}, QStringLiteral("b"), true));
    EXPECT_EQ(field->value, QString(5001, QChar('a')));
}

TEST_F(AXTextTest, SlowFieldIsConfirmedByLaterReads) {
    auto field = frontField(QStringLiteral("com.example.slow"), QStringLiteral("ab"));
    field->writeLagReads = 2;
    EXPECT_TRUE(AXText::replace(AXText::focused(), AXRange{2, 0}, QStringLiteral("в"), true));
    EXPECT_EQ(field->value, QStringLiteral("abв"));
    EXPECT_EQ(ax.settles, 2);
}

TEST_F(AXTextTest, TwoMissesRefuseTheApplicationForThisAndLaterRuns) {
    auto field = frontField(QStringLiteral("com.example.stubborn"), QStringLiteral("abc"));
    field->ignoresWrites = true;
    field->select(1, 1);
    auto el = AXText::focused();

    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    EXPECT_TRUE(env.logContains(QStringLiteral("ax/write: stubborn — запись не подтвердилась перечиткой (промах 1 из 2)")));
    // The user's selection is put back after a failed write.
    EXPECT_EQ(field->selectionStart, 1);
    EXPECT_EQ(field->selectionLength, 1);

    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "ax/write: stubborn — запись не подтвердилась перечиткой дважды подряд; больше писать через AX не пробую "
        "(буфер остаётся); запомнил приложение — в следующий раз сразу синтетика")));
    EXPECT_EQ(env.defaults().listValue(AXText::refusedAppsKey), QVariantList{QStringLiteral("com.example.stubborn")});

    const int readsBefore = ax.reads;
    field->ignoresWrites = false;
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    EXPECT_LE(ax.reads - readsBefore, 2);  // only the secure-field test, nothing of the value
    EXPECT_EQ(field->value, QStringLiteral("abc"));

    // A new run under a new pid refuses from the first write, by the remembered identifier.
    AXText::resetForTesting();
    desktop.quit(QStringLiteral("com.example.stubborn"));
    EXPECT_FALSE(AXText::writeLooksRefused(desktop.app(QStringLiteral("com.example.stubborn"))->identity.pid));
    desktop.focus(QStringLiteral("com.example.stubborn"), field);
    EXPECT_FALSE(AXText::replace(AXText::focused(), AXRange{0, 1}, QStringLiteral("x"), false));
    EXPECT_EQ(field->value, QStringLiteral("abc"));
}

TEST_F(AXTextTest, ConfirmedWriteForgivesAnEarlierMiss) {
    auto field = frontField(QStringLiteral("com.example.flaky"), QStringLiteral("abc"));
    auto el = AXText::focused();
    field->refusesWrites = true;
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    field->refusesWrites = false;
    EXPECT_TRUE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), false));
    field->refusesWrites = true;
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("y"), false));
    EXPECT_EQ(env.logText().count(QStringLiteral("(промах 1 из 2)")), 2);
    EXPECT_FALSE(env.logContains(QStringLiteral("дважды подряд")));
}

TEST_F(AXTextTest, PasswordFieldIsNeverWritten) {
    auto field = frontField(QStringLiteral("com.example.bank"), QStringLiteral("secret"), QStringLiteral("AXSecureTextField"));
    auto el = AXText::focused();
    EXPECT_TRUE(AXText::isSecure(el));
    EXPECT_FALSE(AXText::acceptsWrite(el));
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 1}, QStringLiteral("x"), true));
    EXPECT_EQ(field->value, QStringLiteral("secret"));
}

TEST_F(AXTextTest, AsleepApplicationIsWokenOnceForItsFocusedElement) {
    auto field = frontField(QStringLiteral("org.example.browser"), QStringLiteral("q"));
    desktop.app(QStringLiteral("org.example.browser"))->accessibilityAsleep = true;
    auto el = AXText::focusedForKeyPath();
    ASSERT_TRUE(el);
    EXPECT_FLOAT_EQ(sim::SimAccessibility::messagingTimeout(*el), 0.6f);
    EXPECT_TRUE(env.logContains(QStringLiteral("polish/ax: бужу дерево доступности у browser (AXManualAccessibility принят)")));
    // Asleep again (say, after a reload): not woken a second time in this run.
    desktop.app(QStringLiteral("org.example.browser"))->accessibilityAsleep = true;
    EXPECT_FALSE(AXText::focused());
    EXPECT_EQ(env.logText().count(QStringLiteral("бужу дерево")), 1);
}

TEST_F(AXTextTest, UnreadableAttributesGiveTheirFallbacks) {
    auto field = frontField(QStringLiteral("com.example.notes"), QStringLiteral("x"));
    EXPECT_EQ(AXText::role(nullptr), QStringLiteral("?"));
    field->valueReadable = false;
    field->selectionReadable = false;
    auto el = AXText::focused();
    EXPECT_EQ(AXText::value(el), std::nullopt);
    EXPECT_EQ(AXText::selectedRange(el), std::nullopt);
    EXPECT_EQ(AXText::placeholder(el), std::nullopt);
    field->placeholder = QStringLiteral("Поиск");
    EXPECT_EQ(AXText::placeholder(el), QStringLiteral("Поиск"));
    EXPECT_EQ(AXText::writability(el), QStringLiteral("запись: значение да, выделенный текст да, диапазон да"));
}

TEST_F(AXTextTest, ProbeOfAPasswordFieldStopsAfterTheRole) {
    frontField(QStringLiteral("com.example.bank"), QStringLiteral("secret"), QStringLiteral("AXSecureTextField"));
    const AXText::Caps caps = AXText::probe(AXText::focused(), true);
    EXPECT_EQ(caps.app, QStringLiteral("bank"));
    EXPECT_EQ(caps.bundleID, QStringLiteral("com.example.bank"));
    EXPECT_EQ(caps.role, QStringLiteral("AXSecureTextField"));
    EXPECT_TRUE(caps.secure);
    EXPECT_TRUE(caps.editable);
    EXPECT_FALSE(caps.readValue);
    EXPECT_EQ(caps.chars, 0);
    EXPECT_FALSE(caps.setSelectedRange.has_value());
    EXPECT_FALSE(caps.writeVerified.has_value());
}

TEST_F(AXTextTest, ProbeTestsCaretAndWriteAndRestoresTheSelection) {
    auto field = frontField(QStringLiteral("com.example.notes"), QStringLiteral("Ёлка 🎄"));
    field->frame = QRectF(100, 200, 300, 20);
    field->select(0);
    const AXText::Caps caps = AXText::probe(AXText::focused(), true);
    EXPECT_TRUE(caps.readValue);
    EXPECT_EQ(caps.chars, 7);
    EXPECT_TRUE(caps.readSelectedRange);
    EXPECT_EQ(caps.setSelectedRange, true);
    EXPECT_TRUE(caps.boundsForRange);
    EXPECT_EQ(caps.writeVerified, true);
    EXPECT_TRUE(caps.transportReady());
    EXPECT_EQ(field->value, QStringLiteral("Ёлка 🎄"));
    EXPECT_EQ(field->selectionStart, 0);

    // Without write permission the write test is not tried; without a frame there are no bounds.
    field->frame.reset();
    const AXText::Caps readOnly = AXText::probe(AXText::focused());
    EXPECT_FALSE(readOnly.writeVerified.has_value());
    EXPECT_FALSE(readOnly.boundsForRange);
    EXPECT_FALSE(readOnly.transportReady());
}

TEST_F(AXTextTest, ProbeOfAnApplicationWithoutIdentifierNamesItsPid) {
    AppIdentity owner{QString(), QString(), 4321};
    frontField(QStringLiteral("com.example.notes"), QString());
    const AXText::Caps caps = AXText::probe(AXText::focused(), false, owner);
    EXPECT_EQ(caps.app, QStringLiteral("?"));
    EXPECT_EQ(caps.bundleID, QStringLiteral("pid.4321"));
    EXPECT_TRUE(caps.readSelectedRange);
    EXPECT_FALSE(caps.setSelectedRange.has_value());  // empty value: no caret test
}

TEST_F(AXTextTest, CaretMovesAreCountedPerApplication) {
    frontField(QStringLiteral("com.example.notes"), QStringLiteral("x"));
    const qint64 pid = desktop.app(QStringLiteral("com.example.notes"))->identity.pid;
    AXText::noteWholeValueMovesCaret(pid);
    AXText::noteWholeValueMovesCaret(pid);
    EXPECT_TRUE(env.logContains(QStringLiteral("ax/write: notes увёл каретку после записи значением — вернул (случай 2 за сеанс)")));
    AXText::noteWholeValueMovesCaret(99999);
    EXPECT_TRUE(env.logContains(QStringLiteral("ax/write: pid 99999 увёл каретку")));
}

TEST_F(AXTextTest, WholeValueWriteSettingIsTrueUnlessAFalseBoolean) {
    EXPECT_TRUE(AXText::allowsWholeValueWrite());
    env.defaults().set(AXText::wholeValueWriteKey, false);
    EXPECT_FALSE(AXText::allowsWholeValueWrite());
}

}  // namespace
}  // namespace murmelo::test

namespace murmelo::test {
namespace {

using AXTextTraceTest = SimInputTest;

// Every write is traced with its route and outcome; the text itself never reaches the log.
TEST_F(AXTextTraceTest, WritesAreTracedWithRouteAndOutcome) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, true);
    auto field = frontField(QStringLiteral("com.example.notes"), QStringLiteral("кот"));
    auto el = AXText::focused();
    ASSERT_TRUE(AXText::replace(el, AXRange{0, 3}, QStringLiteral("пёс"), true, TextWriteOrigin::layout));
    field->refusesWrites = true;
    field->selectedTextSettable = false;
    EXPECT_FALSE(AXText::replace(el, AXRange{0, 3}, QStringLiteral("кит"), true));
    const QString log = env.logText();
    EXPECT_TRUE(log.contains(QStringLiteral(" BEGIN origin=layout route=ax-selected ")));
    EXPECT_TRUE(log.contains(QStringLiteral(" END outcome=confirmed ")));
    EXPECT_TRUE(log.contains(QStringLiteral(" BEGIN origin=accessibility route=ax-value ")));
    EXPECT_TRUE(log.contains(QStringLiteral(" END outcome=rejected--25204 ")));
    EXPECT_FALSE(log.contains(QStringLiteral("пёс")));
    EXPECT_FALSE(log.contains(QStringLiteral("кит")));
}

}  // namespace
}  // namespace murmelo::test
