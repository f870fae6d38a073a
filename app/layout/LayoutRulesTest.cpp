#include "layout/LayoutRules.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct Rules : ::testing::Test {
    test::TestEnvironment env;
    QHash<QString, QString> vars;

    LayoutRules read() {
        return LayoutRules::read(
            [this](const char* name) -> std::optional<QString> {
                auto it = vars.find(QString::fromLatin1(name));
                if (it == vars.end()) return std::nullopt;
                return *it;
            },
            env.defaults());
    }
};

TEST_F(Rules, DefaultsOptOutOnOptInOffNotForcedOff) {
    const LayoutRules r = read();
    EXPECT_FALSE(r.forcedOff);
    EXPECT_TRUE(r.ruleBackspaceUndo);
    EXPECT_TRUE(r.ruleIdleReselect);
    EXPECT_FALSE(r.ruleCaretWordLang);
    EXPECT_FALSE(r.ruleTisAlways);
    EXPECT_EQ(r.vetoStrikes(), 2);
    EXPECT_TRUE(r.mirrorPunctOn());
    EXPECT_FALSE(r.mirrorPunctAll());
    EXPECT_EQ(r.verifyRetryLimit, 2);
}

TEST_F(Rules, VariableMatchesOnlyTheWholeString) {
    vars["MURMELO_LAYOUT_OFF"] = "true";
    vars["MURMELO_RULE_CARET_WORD_LANG"] = "1";
    vars["MURMELO_RULE_APP_PRIOR_CONFIRMS"] = "00";
    vars["MURMELO_RULE_DIGIT_TAIL"] = "0";
    vars["MURMELO_RULE_CODE_UNDO"] = " 1";
    const LayoutRules r = read();
    EXPECT_FALSE(r.forcedOff);
    EXPECT_TRUE(r.ruleCaretWordLang);
    EXPECT_TRUE(r.ruleAppPriorConfirms);
    EXPECT_FALSE(r.ruleDigitTail);
    EXPECT_FALSE(r.ruleCodeUndo);
    vars["MURMELO_LAYOUT_OFF"] = "1";
    EXPECT_TRUE(read().forcedOff);
}

TEST_F(Rules, TwinsAndTheOneDirectionAVariableForces) {
    vars["MURMELO_RULE_VETO_SECOND"] = "0";
    EXPECT_EQ(read().vetoStrikes(), 1);
    vars["MURMELO_RULE_VETO_SECOND"] = "1";
    env.defaults().set("layoutVetoSecondOff", true);
    EXPECT_EQ(read().vetoStrikes(), 1) << "\"1\" does not force an opt-out rule on against its twin";
    vars["MURMELO_RULE_TIS_ALWAYS"] = "0";
    env.defaults().set("layoutTisAlways", true);
    EXPECT_TRUE(read().ruleTisAlways) << "\"0\" does not force an opt-in rule off against its twin";
    env.defaults().set("layoutIdleReselectOff", true);
    EXPECT_FALSE(read().ruleIdleReselect);
}

TEST_F(Rules, Gates) {
    struct Case { const char* name; std::optional<QString> value; double normal, context, disagree, floor; };
    const Case cases[] = {
        {"absent", std::nullopt, 0.1, 0.3, 0.3, -1.5},
        {"three", "0.2,0.4,0.5", 0.2, 0.4, 0.5, -1.5},
        {"invalid number dropped", "0.2,x,0.4,0.5", 0.2, 0.4, 0.5, -1.5},
        {"two numbers", "0.2,0.4", 0.1, 0.3, 0.3, -1.5},
        {"numbers led by a blank dropped", "0.2, 0.4, 0.5, -1", 0.1, 0.3, 0.3, -1.5},
        {"four", "1,2,3,-2,9", 1, 2, 3, -2},
        {"empty items skipped", ",0.2,,0.4,0.5,", 0.2, 0.4, 0.5, -1.5},
    };
    for (const Case& c : cases) {
        const BoundaryGates g = BoundaryGates::fromVariable(c.value);
        EXPECT_EQ(g.normal, c.normal) << c.name;
        EXPECT_EQ(g.context, c.context) << c.name;
        EXPECT_EQ(g.disagree, c.disagree) << c.name;
        EXPECT_EQ(g.absFloor, c.floor) << c.name;
    }
}

TEST_F(Rules, LaddersAndMirror) {
    vars["MURMELO_LAYOUT_LADDER"] = "Conservative";
    EXPECT_EQ(read().ladder.margin(8), 0.30);
    vars["MURMELO_LAYOUT_LADDER"] = "conservative";
    const LayoutRules r = read();
    EXPECT_EQ(r.ladder.margin(7), 0.30);
    EXPECT_EQ(r.ladder.margin(8), 0.35);
    EXPECT_EQ(r.ladder.margin(2), 1.15);
    vars["MURMELO_RULE_MIRROR_PUNCT"] = "all";
    EXPECT_TRUE(read().mirrorPunctOn());
    EXPECT_TRUE(read().mirrorPunctAll());
    vars["MURMELO_RULE_MIRROR_PUNCT"] = "0";
    EXPECT_FALSE(read().mirrorPunctOn());
}

TEST_F(Rules, IntegerAndNumberTunables) {
    struct Case { const char* name; std::optional<QString> value; qint64 expected; };
    const Case ints[] = {
        {"plain", "5", 5},      {"trailing blank", "5 ", 3}, {"word", "five", 3}, {"negative", "-1", -1},
        {"plus", "+7", 7},      {"empty", "", 3},           {"sign alone", "-", 3},
        {"overflow", "99999999999999999999", 3},
    };
    for (const Case& c : ints) EXPECT_EQ(LayoutRules::parseInteger(c.value, 3), c.expected) << c.name;
    vars["MURMELO_SHORT_GATE_MAX_LEN"] = "5";
    EXPECT_EQ(read().shortGateMaxLen, 5);

    EXPECT_EQ(LayoutRules::parseNumber(QStringLiteral("0.5"), 1.0), 0.5);
    EXPECT_EQ(LayoutRules::parseNumber(QString(), 1.0), 1.0);
    EXPECT_EQ(LayoutRules::parseNumber(std::nullopt, 1.0), 1.0);
    EXPECT_EQ(LayoutRules::parseNumber(QStringLiteral(" 0.5"), 1.0), 1.0);
    EXPECT_EQ(LayoutRules::parseNumber(QStringLiteral("-2"), 1.0), -2.0);
}

}  // namespace
