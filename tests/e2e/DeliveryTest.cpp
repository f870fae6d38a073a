// Dictated text reaching another application: direct typing, the audit after it, the
// single automatic repair through the clipboard and the repair card.
#include "Desk.h"

#include "input/DictationDelivery.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TextWriteTrace.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class DeliveryTest : public ::testing::Test {
protected:
    DeliveryTest() { desk.setting(TextWriteTrace::SETTING_KEY, true); }
    e2e::Desk desk;
};

TEST_F(DeliveryTest, ShortLineIsTypedDirectlyAuditedAndLeavesTheClipboardAlone) {
    desk.open(QStringLiteral("org.kde.kate"));
    desk.copy(QStringLiteral("the user's clipboard")).wait(1);
    const qint64 changes = desk.clipboardChanges();
    const QString text = QStringLiteral("Привет, мир!");  // 12 characters
    pasteText(text, TextWriteOrigin::dictation);
    EXPECT_EQ(desk.fieldText(), text);
    ASSERT_EQ(desk.posted().size(), 24u);
    for (size_t i = 0; i < desk.posted().size(); ++i) {
        EXPECT_EQ(desk.posted()[i].userData, SYNTHETIC_MARK);
        EXPECT_EQ(desk.posted()[i].keyDown, i % 2 == 0);
    }
    EXPECT_TRUE(desk.logHas(QStringLiteral("вставка: напечатано 12 симв. напрямую (без буфера) за 0 мс")));
    // The trace's end line keeps its outcome one token, so that "outcome=" parses.
    QStringList outcomes;
    for (const QString& line : desk.log()) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral(" END outcome=(\\S+) elapsed=")).match(line);
        if (m.hasMatch()) outcomes << m.captured(1);
    }
    EXPECT_EQ(outcomes, QStringList{QStringLiteral("posted-events-24")});
    desk.wait(0.44);
    EXPECT_FALSE(desk.logHas(QStringLiteral("delivery-audit=")));
    desk.wait(0.01);
    EXPECT_EQ(desk.logCount(QStringLiteral("OBSERVE delivery-audit=confirmed")), 1);
    desk.wait(5);
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_EQ(desk.clipboardChanges(), changes);
    EXPECT_EQ(desk.clipboardText(), QStringLiteral("the user's clipboard"));
    EXPECT_FALSE(desk.logHas(QStringLiteral("insert-repair")));
}

TEST_F(DeliveryTest, DroppedTypingIsRepairedOnceThroughTheClipboard) {
    // (An empty field reads as unreadable and is never repaired: it holds a greeting.)
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Привет! ")).get()->dropsTypedText = true;
    desk.copy(QStringLiteral("user's")).wait(1);
    const QString text = QStringLiteral("доставка без потерь");
    pasteText(text, TextWriteOrigin::dictation);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет! "));
    desk.wait(0.45);
    EXPECT_TRUE(desk.logHas(QStringLiteral("⚠ вставка/audit: в поле легло НЕ ТО, что впечатали (kate, ждали 19 симв., в хвосте 8)")));
    desk.wait(0.75);  // the repair decision
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: full loss — pasting 19 chars again via clipboard (kate)")));
    desk.wait(0.07);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет! ") + text);
    desk.wait(1.5);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: verified — the repaired text is in the field (kate)")));
    desk.wait(40);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(desk.cardsShown(), 0);
    EXPECT_EQ(desk.clipboardText(), QStringLiteral("user's"));
    for (const ClipItem& item : desk.clipboardHistory()) EXPECT_NE(item.text, text);
}

TEST_F(DeliveryTest, RepairThatDoesNotLandOpensTheCardOnceWhichHidesAfterThirtySeconds) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Привет! "));
    desk.dropTypedText().ignorePaste();
    pasteText(QStringLiteral("потерянный текст"), TextWriteOrigin::dictation);
    desk.wait(0.45 + 0.75 + 1.5 + 0.75);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: refused — second-repair-forbidden; the card offers a manual reinsert (kate)")));
    EXPECT_TRUE(desk.cardVisible());
    EXPECT_EQ(desk.card().title, QStringLiteral("Вставка не доехала"));
    EXPECT_EQ(desk.card().body, QStringLiteral("16 симв. не легли в поле (kate). Текст цел."));
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: card shown — 16 chars kept for manual reinsert (kate)")));
    EXPECT_EQ(desk.pastesPosted(), 1);  // no second automatic paste
    desk.wait(29.9);
    EXPECT_TRUE(desk.cardVisible());
    desk.wait(0.1);
    EXPECT_FALSE(desk.cardVisible());
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(desk.cardsShown(), 1);
}

// A short text that already stood in the field must not make a lost delivery look
// delivered: the audit counts occurrences, it does not test presence.
TEST_F(DeliveryTest, TextAlreadyInTheFieldDoesNotHideALostDelivery) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("ok "));
    desk.dropTypedText();
    pasteText(QStringLiteral("ok"), TextWriteOrigin::dictation);
    desk.wait(0.45);
    EXPECT_FALSE(desk.logHas(QStringLiteral("OBSERVE delivery-audit=confirmed")));
    EXPECT_TRUE(desk.logHas(QStringLiteral("OBSERVE delivery-audit=mismatch")));
    desk.wait(0.75 + 0.07);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: full loss — pasting 2 chars again")));
    EXPECT_EQ(desk.fieldText(), QStringLiteral("ok ok"));
    desk.wait(1.5);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: verified")));
    EXPECT_EQ(desk.cardsShown(), 0);
}

// A repair, or a manual reinsert, that lands in the middle of a long field is seen there:
// no card follows it, and pressing the card's button can never insert the text twice.
TEST_F(DeliveryTest, RepairLandingMidFieldIsVerifiedNotCarded) {
    const QString head = QStringLiteral("Начало письма. ");
    const QString tail = QStringLiteral("А здесь длинное продолжение письма, которое стоит после каретки.");
    desk.open(QStringLiteral("org.kde.kate"), head + tail);
    desk.caret(head.size()).dropTypedText();
    const QString text = QStringLiteral("Вставка посередине. ");
    pasteText(text, TextWriteOrigin::dictation);
    desk.wait(0.45 + 0.75 + 0.07);
    ASSERT_EQ(desk.fieldText(), head + text + tail);
    desk.wait(1.5 + 0.75);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: verified")));
    EXPECT_EQ(desk.cardsShown(), 0);
    EXPECT_EQ(desk.pastesPosted(), 1);
}

TEST_F(DeliveryTest, ManualReinsertLandingMidFieldIsNotOfferedAgain) {
    const QString head = QStringLiteral("Начало письма. ");
    const QString tail = QStringLiteral("А здесь длинное продолжение письма, которое стоит после каретки.");
    desk.open(QStringLiteral("org.kde.kate"), head + tail);
    desk.caret(head.size()).dropTypedText().ignorePaste();
    const QString text = QStringLiteral("Вставка посередине. ");
    pasteText(text, TextWriteOrigin::dictation);
    desk.wait(0.45 + 0.75 + 1.5 + 0.75);
    ASSERT_TRUE(desk.cardVisible());
    // The application recovers; the user presses "Вставить ещё раз".
    desk.ignorePaste(false);
    desk.pressCardReinsert();
    EXPECT_FALSE(desk.cardVisible());
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: manual reinsert — 20 chars via clipboard (kate)")));
    desk.wait(0.07);
    EXPECT_EQ(desk.fieldText(), head + text + tail);
    desk.wait(1.5 + 0.75 + 1);
    EXPECT_TRUE(desk.logHas(QStringLiteral("insert-repair: verified")));
    EXPECT_EQ(desk.cardsShown(), 1);
    EXPECT_FALSE(desk.cardVisible());
    EXPECT_EQ(desk.fieldText().count(text), 1);
}

// The user's own keys, seen by the event tap, tell the audit that the field is the user's
// again: a dictation the field dropped is then neither called a mismatch nor repaired.
TEST_F(DeliveryTest, DictationDroppedThenUserTypesNoCard) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Привет! "));
    desk.dropTypedText();
    pasteText(QStringLiteral("пропавшее"), TextWriteOrigin::dictation);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет! "));
    desk.dropTypedText(false).type(QStringLiteral("сам"));
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Привет! сам"));
    desk.wait(40);
    EXPECT_EQ(desk.logCount(QStringLiteral("OBSERVE delivery-audit=skipped-user-typed")), 1);
    EXPECT_FALSE(desk.logHas(QStringLiteral("delivery-audit=mismatch")));
    EXPECT_FALSE(desk.logHas(QStringLiteral("insert-repair")));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_EQ(desk.cardsShown(), 0);
}

// The program's own typing, which comes back through the tap marked as its own, is not
// the user's: the audit still runs after it.
TEST_F(DeliveryTest, TheProgramsOwnTypingThroughTheTapDoesNotSkipTheAudit) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Привет! "));
    pasteText(QStringLiteral("своё"), TextWriteOrigin::dictation);
    desk.wait(0.45);
    EXPECT_TRUE(desk.logHas(QStringLiteral("OBSERVE delivery-audit=confirmed")));
    EXPECT_FALSE(desk.logHas(QStringLiteral("skipped-user-typed")));
}

// An empty field whose backend says an empty reading is real is audited and repaired; one
// whose emptiness may be a toolkit hiding its text is left alone.
TEST_F(DeliveryTest, AnEmptyFieldIsRepairedOnlyWhereItsEmptinessIsKnown) {
    struct Case {
        const char* name;
        bool emptyKnown;
        const char* audit;
        QString field;
    } cases[] = {
        {"reliable empty value", true, "OBSERVE delivery-audit=mismatch", QStringLiteral("в пустое поле")},
        {"empty value of unknown meaning", false, "OBSERVE delivery-audit=unreadable", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::Desk d;
        d.setting(TextWriteTrace::SETTING_KEY, true);
        d.open(QStringLiteral("org.kde.kate"))->emptyValueReliable = c.emptyKnown;
        d.dropTypedText();
        pasteText(QStringLiteral("в пустое поле"), TextWriteOrigin::dictation);
        d.wait(0.45);
        EXPECT_TRUE(d.logHas(QString::fromUtf8(c.audit)));
        d.wait(0.75 + 0.07 + 1.5);
        EXPECT_EQ(d.fieldText(), c.field);
        EXPECT_EQ(d.pastesPosted(), c.emptyKnown ? 1 : 0);
        EXPECT_EQ(d.cardsShown(), 0);
    }
}

// A text copied elsewhere is in the clipboard menu once the poll has seen it, and choosing
// it there puts it into the field.
TEST_F(DeliveryTest, ACopiedTextIsChosenFromTheClipboardMenu) {
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Итого: "));
    desk.copy(QStringLiteral("первый")).copy(QStringLiteral("второй"));
    ASSERT_EQ(desk.clipboardHistory().size(), 2u);
    EXPECT_TRUE(desk.choose(QStringLiteral("clipboardMenu"), QStringLiteral("первый")));
    desk.wait(1);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("Итого: первый"));
    EXPECT_FALSE(desk.choose(QStringLiteral("clipboardMenu"), QStringLiteral("не копировали")));
}

TEST_F(DeliveryTest, RoutesAndRefusals) {
    desk.open(QStringLiteral("org.kde.kate"));
    pasteText(QStringLiteral(" \n "));
    EXPECT_TRUE(desk.logHas(QStringLiteral("⚠ вставка отменена: пустой текст (буфер не тронут)")));
    pasteText(QStringLiteral("две\nстроки"));
    desk.wait(0.07);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(desk.fieldText(), QStringLiteral("две\nстроки"));
    EXPECT_TRUE(desk.logHas(QStringLiteral("вставка: Cmd+V отправлен (10 симв., settle 70мс)")));
    desk.wait(5);
    desk.open(QStringLiteral("org.keepassxc.KeePassXC"), {}, QStringLiteral("AXSecureTextField"));
    const size_t before = desk.posted().size();
    pasteText(QStringLiteral("пароль"));
    EXPECT_TRUE(desk.logHas(QStringLiteral("⚠ вставка отменена: поле под кареткой парольное (HC-02 у вставки)")));
    desk.wait(5);
    EXPECT_EQ(desk.posted().size(), before);
}

TEST(DictationInsertionRoute, Rules) {
    const QString line200(200, QChar('a'));
    struct Case {
        const char* name;
        QString text;
        bool clipboardMode;
        DictationInsertionRoute route;
    } cases[] = {
        {"200 characters are typed", line200, false, DictationInsertionRoute::directUnicode},
        {"201 characters are pasted", line200 + 'a', false, DictationInsertionRoute::clipboard},
        {"a line feed is pasted", QStringLiteral("a\nb"), false, DictationInsertionRoute::clipboard},
        {"a carriage return is pasted", QStringLiteral("a\rb"), false, DictationInsertionRoute::clipboard},
        {"clipboard mode pastes", QStringLiteral("short"), true, DictationInsertionRoute::clipboard},
        {"a short line is typed", QStringLiteral("short"), false, DictationInsertionRoute::directUnicode},
    };
    for (const Case& c : cases) EXPECT_EQ(dictationInsertionRoute(c.text, c.clipboardMode), c.route) << c.name;
}

}  // namespace
