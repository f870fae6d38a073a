#include "reply/ScreenReplyDeliveryDecision.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr qint32 TARGET = 4321;
const QString INSERT = QStringLiteral("вставляю сразу в поле");

struct Inputs {
    bool enabled = true;
    bool empty = false;
    std::optional<qint32> front = TARGET;
    bool editable = true;
    bool secure = false;
    bool confirm = false;
};

QString reasonOf(const Inputs& in) {
    return ScreenReplyDeliveryDecision::reason(in.enabled, TARGET, {in.front, in.editable, in.secure}, in.confirm, in.empty);
}
ScreenReplyDelivery decisionOf(const Inputs& in) {
    return ScreenReplyDeliveryDecision::decide(in.enabled, TARGET, {in.front, in.editable, in.secure}, in.confirm, in.empty);
}

// Each row passes the conditions before its own and fails every one after it, so a reason
// that is checked out of order names the wrong failure.
TEST(ScreenReplyDeliveryDecisionTest, TheFirstFailedConditionNamesTheReason) {
    struct Row {
        Inputs in;
        QString reason;
    } rows[] = {
        {{false, true, std::nullopt, false, true, true}, "настройка выключена"},
        {{true, true, std::nullopt, false, true, true}, "модель вернула пустой ответ — в поле не идём"},
        {{true, false, std::nullopt, false, true, true}, "не видно, какое приложение впереди"},
        {{true, false, 77, false, true, true}, "впереди уже другое приложение (pid 77 вместо 4321)"},
        {{true, false, TARGET, false, true, true}, "курсор не в текстовом поле"},
        {{true, false, TARGET, true, true, true}, "фокус в парольном поле"},
        {{true, false, TARGET, true, false, true}, "у ответа есть предупреждение — читать до вставки"},
        {{true, false, TARGET, true, false, false}, INSERT},
    };
    for (const Row& r : rows) EXPECT_EQ(reasonOf(r.in), r.reason);
    // The setting off with a field that was never probed.
    EXPECT_EQ(ScreenReplyDeliveryDecision::reason(false, TARGET, FocusedFieldSnapshot::unknown(), false, false),
              "настройка выключена");
}

// Over every combination of the inputs: one alone inserts, and the reason says so exactly then.
TEST(ScreenReplyDeliveryDecisionTest, OnlyTheFullyVerifiedCaseInsertsAndTheReasonAgrees) {
    int inserts = 0;
    for (int bits = 0; bits < 96; ++bits) {
        Inputs in;
        in.enabled = bits & 1;
        in.empty = bits & 2;
        in.editable = bits & 4;
        in.secure = bits & 8;
        in.confirm = bits & 16;
        const int front = bits / 32;  // none, another, the target
        in.front = front == 0 ? std::nullopt : std::optional<qint32>(front == 1 ? 99 : TARGET);
        const bool inserted = decisionOf(in) == ScreenReplyDelivery::insertIntoField;
        EXPECT_EQ(inserted, reasonOf(in) == INSERT) << bits;
        inserts += inserted;
    }
    EXPECT_EQ(inserts, 1);
}

TEST(ScreenReplyDeliveryDecisionTest, TheSettingReadsAsOnUntilWrittenAndLogsItsChanges) {
    test::TestEnvironment env;
    EXPECT_TRUE(ScreenReplyAutoInsertPolicy::isEnabled());
    ScreenReplyAutoInsertPolicy::setEnabled(false);
    EXPECT_FALSE(ScreenReplyAutoInsertPolicy::isEnabled());
    EXPECT_EQ(env.defaults().realBool(ScreenReplyAutoInsertPolicy::key), false);
    ScreenReplyAutoInsertPolicy::setEnabled(true);
    EXPECT_TRUE(ScreenReplyAutoInsertPolicy::isEnabled());
    EXPECT_TRUE(env.logContains("Ответ на экран: вставка сразу в поле выключена"));
    EXPECT_TRUE(env.logContains("Ответ на экран: вставка сразу в поле включена"));
}

}  // namespace
