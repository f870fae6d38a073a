#include "input/DeliveryRepair.h"
#include "input/DeliveryRepairCard.h"
#include "input/InputTestFixture.h"

#include <QRegularExpression>
#include <QWidget>

using namespace murmelo;
using namespace murmelo::DeliveryRepair;

namespace {

FieldSnapshot snap(const QString& value, std::optional<qsizetype> selStart = std::nullopt, qsizetype selLength = 0,
                   std::optional<QString> placeholder = std::nullopt) {
    return {value, selStart ? selStart : std::optional<qsizetype>(value.size()), selLength, placeholder};
}
Action act(Action::Kind k, const char* payload) { return {k, QString::fromUtf8(payload)}; }

TEST(DeliveryRepairDecide, Table) {
    const QString ten = QStringLiteral("0123456789");
    struct Case {
        const char* name;
        QString expected, auditValue;
        std::optional<FieldSnapshot> before, fresh;
        bool typed;
        int attempt;
        Action action;
    } cases[] = {
        {"second attempt refuses even an empty field", "x", "", std::nullopt, snap(""), false, 1,
         act(Action::refuse, "second-repair-forbidden")},
        {"user typing first", "hello", "hello", std::nullopt, snap("hello"), true, 0, act(Action::refuse, "user-typed")},
        {"late arrival", "hello", "", std::nullopt, snap("hello"), false, 0, act(Action::notNeeded, "text-already-in-field")},
        {"unreadable", "hello", "a", std::nullopt, std::nullopt, false, 0, act(Action::refuse, "field-unreadable")},
        {"changed since audit", "hello", "a", std::nullopt, snap("ab"), false, 0, act(Action::refuse, "field-changed-since-audit")},
        {"white space only is a whole loss", "hello", "  \n", std::nullopt, snap("  \n"), false, 0, act(Action::reinsert, "hello")},
        {"placeholder as value", "hello", "Search", std::nullopt, snap("Search", {}, 0, QStringLiteral(" Search ")), false, 0,
         act(Action::reinsert, "hello")},
        {"nothing changed", "hello", "abc", snap("abc"), snap("abc"), false, 0, act(Action::reinsert, "hello")},
        {"head of eight, no before", ten, "xx 01234567", std::nullopt, snap("xx 01234567"), false, 0, act(Action::appendTail, "89")},
        {"head of seven, no before", ten, "xx 0123456", std::nullopt, snap("xx 0123456"), false, 0,
         act(Action::refuse, "field-holds-other-text")},
        {"head after a greeting", "абвгде", "Hi абв", snap("Hi "), snap("Hi абв"), false, 0, act(Action::appendTail, "где")},
        // The same short text stood there before: once is not "arrived", twice is.
        {"ok before, ok now", "ok", "ok ", snap("ok "), snap("ok "), false, 0, act(Action::reinsert, "ok")},
        {"ok before, twice now", "ok", "ok ", snap("ok "), snap("ok ok"), false, 0,
         act(Action::notNeeded, "text-already-in-field")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decide(c.expected, c.auditValue, c.before, c.fresh, c.typed, c.attempt), c.action) << c.name;
}

TEST(DeliveryRepairDecideEdit, Table) {
    // "Hello wrold|" : erase "wrold", type "world".
    const EditPacket p{QStringLiteral("Hello wrold"), 11, QStringLiteral("wrold"), QStringLiteral("world")};
    ASSERT_TRUE(p.isConsistent());
    struct Case {
        const char* name;
        EditPacket packet;
        std::optional<FieldSnapshot> fresh;
        bool typed;
        int attempt;
        Action action;
    } cases[] = {
        {"inconsistent", {QStringLiteral("abc"), 3, QStringLiteral("x"), QStringLiteral("y")}, snap("abc"), false, 0,
         act(Action::refuse, "packet-inconsistent")},
        {"unreadable", p, std::nullopt, false, 0, act(Action::refuse, "field-unreadable")},
        {"never landed, even later", p, snap("Hello wrold"), false, 3, act(Action::notNeeded, "packet-never-landed")},
        {"landed", p, snap("Hello world"), false, 0, act(Action::notNeeded, "edit-landed")},
        {"crooked", p, snap("Hello wroldworld"), false, 0, act(Action::refuse, "packet-landed-crooked")},
        {"insert lost, caret at erase point", p, snap("Hello ", 6), false, 0, act(Action::reinsert, "world")},
        {"insert lost, caret one off", p, snap("Hello ", 5), false, 0, act(Action::refuse, "caret-not-at-erase-point")},
        {"half arrived", p, snap("Hello wo", 8), false, 0, act(Action::appendTail, "rld")},
        {"second attempt", p, snap("Hello ", 6), false, 1, act(Action::refuse, "second-repair-forbidden")},
        {"user typed", p, snap("Hello x", 7), true, 0, act(Action::refuse, "user-typed")},
        {"other text", p, snap("Bye", 3), false, 0, act(Action::refuse, "field-holds-other-text")},
    };
    for (const Case& c : cases) EXPECT_EQ(decideEdit(c.packet, c.fresh, c.typed, c.attempt), c.action) << c.name;
}

TEST(DeliveryRepairUndoPacket, CaretAndSelectionRules) {
    EXPECT_EQ(undoPacket(snap("abc def", 7), 3, QStringLiteral("xyz")),
              (EditPacket{QStringLiteral("abc def"), 7, QStringLiteral("def"), QStringLiteral("xyz")}));
    EXPECT_FALSE(undoPacket(snap("abc def", 4, 2), 3, {}).has_value());  // a selection
    EXPECT_FALSE(undoPacket(FieldSnapshot{QStringLiteral("abc"), std::nullopt, 0, {}}, 1, {}).has_value());
    EXPECT_FALSE(undoPacket(snap("abc", 2), 3, {}).has_value());
    EXPECT_FALSE(undoPacket(snap("abc", 2), -1, {}).has_value());
}

TEST(DeliveryRepairLoad, TokenHasTwoDecimals) {
    const QString token = loadAvg1Token();
    if (loadAvg1()) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^ load1=\\d+\\.\\d\\d$")).match(token).hasMatch()) << token.toStdString();
    } else {
        EXPECT_TRUE(token.isEmpty());
    }
}

class RepairCardTest : public test::SimInputTest {};

TEST_F(RepairCardTest, TextsPerKind) {
    using Kind = DeliveryRepairCardController::Kind;
    const auto polish = DeliveryRepairCardController::model(5, QStringLiteral("Kate"), Kind::polish);
    EXPECT_EQ(polish.title, QStringLiteral("Правка не доехала"));
    EXPECT_EQ(polish.body, QStringLiteral("Полировка стёрла 5 симв. и не смогла впечатать замену (Kate). Текст цел."));
    const auto undo = DeliveryRepairCardController::model(3, QStringLiteral("Kate"), Kind::undo);
    EXPECT_EQ(undo.body, QStringLiteral("Откат стёр слово и не смог вернуть 3 симв. набранного (Kate)."));
    EXPECT_EQ(undo.insertButton, QStringLiteral("Вставить ещё раз"));
    EXPECT_EQ(undo.okButton, QStringLiteral("Понятно"));
    EXPECT_EQ(DeliveryRepairCardController::logTag(Kind::undo), QStringLiteral("undo-repair"));
    EXPECT_EQ(DeliveryRepairCardController::origin(Kind::polish), TextWriteOrigin::polishRepair);
}

TEST_F(RepairCardTest, SitsSixteenPointsInFromTheBottomRight) {
    EXPECT_EQ(DeliveryRepairCardController::cardOrigin(QRectF(0, 40, 1440, 860), QSizeF(260, 90)), QPointF(1164, 56));
    EXPECT_EQ(DeliveryRepairCardController::cardOrigin(std::nullopt, QSizeF(260, 90)), QPointF(0, 0));
}

TEST_F(RepairCardTest, PanelIsAFloatingNonActivatingCardThatANewOneReplaces) {
    DeliveryRepairCardController cards;
    cards.show(QStringLiteral("первый"), QStringLiteral("Kate"), DeliveryRepairCardController::Kind::dictation);
    EXPECT_FALSE(cards.isShowing());  // built on the main queue
    env.runPending();
    ASSERT_TRUE(cards.isShowing());
    QWidget* panel = cards.panel();
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_GE(panel->width(), 210);
    env.advance(20);
    cards.show(QStringLiteral("второй"), QStringLiteral("Kate"), DeliveryRepairCardController::Kind::dictation);
    env.advance(15);  // 35 s after the first, 15 after the second
    EXPECT_TRUE(cards.isShowing());
    EXPECT_EQ(cards.pendingText(), QStringLiteral("второй"));
    env.advance(15);
    EXPECT_FALSE(cards.isShowing());
    EXPECT_FALSE(cards.pendingText().has_value());
    cards.reinsert();  // nothing kept: nothing happens
    EXPECT_TRUE(keys.posted().empty());
}

}  // namespace
