#include "base/Format.h"
#include "base/Localization.h"
#include "base/MurmeloRuntimeSafety.h"

#include <gtest/gtest.h>

using namespace murmelo;

TEST(FormatTest, FillsTheSpecifiersOfTheInterfaceTexts) {
    struct Case { const char* format; QVariantList args; const char* expected; };
    const Case cases[] = {
        {"%@ и %@", {"a", "b"}, "a и b"},
        {"%2$@ перед %1$@", {"a", "b"}, "b перед a"},
        {"%d мин", {15}, "15 мин"},
        {"%ld сл.", {qlonglong(7)}, "7 сл."},
        {"%.0f%%", {42.6}, "43%"},
        {"%.1f ч", {1.25}, "1.2 ч"},
        {"нет %@", {}, "нет %@"},
        {"100%", {}, "100%"},
        {"%d ч %02d мин", {1, 5}, "1 ч 05 мин"},
        {"%5d|%-5d|%05d", {42, 42, -42}, "   42|42   |-0042"},
        {"%06llu", {qulonglong(123)}, "000123"},
        {"%02x%llx", {10, 255}, "0aff"},
        {"[%-6@]", {"ab"}, "[ab    ]"},
        {"%1$d воркеров, %2$.0f МБ", {3, 12.5}, "3 воркеров, 12 МБ"},
        {"%+d", {3}, "+3"},
        {"на 50% дольше", {7}, "на 50% дольше"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatSpec(QString::fromUtf8(c.format), c.args), QString::fromUtf8(c.expected)) << c.format;
    EXPECT_EQ(L("x.key", "осталось %d", {3}), "осталось 3");
}

TEST(RuntimeSafetyTest, SmokeModeIsExactlyTheValueOne) {
    for (auto [value, smoke] : {std::pair{"1", true}, {"true", false}, {"0", false}, {"", false}}) {
        QProcessEnvironment env;
        env.insert("MURMELO_QUICK_ACTIONS_SMOKE", value);
        EXPECT_EQ(MurmeloRuntimeSafety::isQuickActionsSmokeMode(env), smoke) << value;
    }
    EXPECT_FALSE(MurmeloRuntimeSafety::isQuickActionsSmokeMode(QProcessEnvironment()));
    EXPECT_FALSE(MurmeloRuntimeSafety::allowsGlobalInputMutation(true));
    EXPECT_TRUE(MurmeloRuntimeSafety::allowsGlobalInputMutation(false));
    EXPECT_FALSE(MurmeloRuntimeSafety::allowsClipboardSelectionFallback(true));
    EXPECT_TRUE(MurmeloRuntimeSafety::allowsClipboardSelectionFallback(false));
}
