#include "polish/PolishSelect.h"

#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::PolishSelect;

TEST(PolishSelectTest, ClampKeepsRangesInsideTheField) {
    const struct {
        const char* name;
        AXRange range;
        qint64 length;
        AXRange want;
    } cases[] = {
        {"inside", {2, 3}, 10, {2, 3}},
        {"past the end is cut", {8, 5}, 10, {8, 2}},
        {"wholly past the end is empty at the end", {12, 3}, 10, {10, 0}},
        {"negative start", {-2, 5}, 10, {0, 3}},
        {"negative length", {4, -1}, 10, {4, 0}},
        {"negative field length", {1, 1}, -3, {0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(clamp(c.range, c.length), c.want) << c.name;
}

TEST(PolishSelectTest, KeyPlansCountCharactersFromTheCaret) {
    const QString plain = QStringLiteral("раз два три четыре пять шесть");
    const QString emoji = QStringLiteral("a👍🏽b́c");  // a, thumbs up with skin tone, b with a combining mark, c
    const struct {
        const char* name;
        QString value;
        AXRange range;
        qint64 caret;
        std::optional<KeyPlan> plan;
    } cases[] = {
        {"caret ten after a five-letter range", plain, {4, 5}, 19, KeyPlan{-10, 5}},
        {"caret before the range", plain, {4, 3}, 0, KeyPlan{7, 3}},
        {"caret at the range's end", plain, {4, 3}, 7, KeyPlan{0, 3}},
        {"an emoji and a combining mark are one press each", emoji, {1, 6}, 8, KeyPlan{-1, 2}},
        {"empty range", plain, {4, 0}, 4, std::nullopt},
        {"caret outside the field", plain, {4, 3}, 99, std::nullopt},
        {"negative caret", plain, {4, 3}, -1, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(keyPlan(c.value, c.range, c.caret), c.plan) << c.name;
    EXPECT_EQ(KeyPlan({-10, 5}).keys(), 15);
}

TEST(PolishSelectTest, AnchorFindsTheSelectedTextNearTheWantedEnd) {
    const QString value = QStringLiteral("да да нет да");
    // "да" ends at 2, 5 and 12; the wanted range ends at 5.
    EXPECT_EQ(anchor(QStringLiteral("да"), value, {3, 2}), 5);
    // The text shifted by three characters is still the same place.
    EXPECT_EQ(anchor(QStringLiteral("нет"), value, {3, 3}), 9);
    // Equal distances keep the earlier occurrence.
    EXPECT_EQ(anchor(QStringLiteral("x"), QStringLiteral("x.x"), {0, 2}), 1);
    const QString far = QStringLiteral("слово") + QString(9, u' ') + QStringLiteral("конец");
    EXPECT_EQ(anchor(QStringLiteral("слово"), far, {0, 5 + 8}), 5) << "eight units away still counts";
    EXPECT_EQ(anchor(QStringLiteral("слово"), far, {0, 5 + 9}), std::nullopt) << "nine units is another place";
    EXPECT_EQ(anchor(QString(), value, {0, 2}), std::nullopt);
    EXPECT_EQ(anchor(QStringLiteral("да"), QString(), {0, 2}), std::nullopt);
    EXPECT_EQ(anchor(QStringLiteral("нет"), QStringLiteral("да"), {0, 2}), std::nullopt);
}

TEST(PolishSelectTest, CopyVerdicts) {
    const struct {
        const char* name;
        QString expected;
        std::optional<QString> got;
        CopyVerdict verdict;
        bool allows;
    } cases[] = {
        {"same", "два слова", QStringLiteral("два слова"), CopyVerdict::match, true},
        {"line break and space for one space", "два слова", QStringLiteral("два\n слова"), CopyVerdict::matchIgnoringWhitespace, true},
        {"other words", "два слова", QStringLiteral("три слова"), CopyVerdict::mismatch, false},
        {"empty copy", "два слова", QString(), CopyVerdict::empty, true},
        {"no copy", "два слова", std::nullopt, CopyVerdict::empty, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(copyVerdict(c.expected, c.got), c.verdict) << c.name;
        EXPECT_EQ(gateAllows(c.verdict), c.allows) << c.name;
    }
    EXPECT_EQ(log(CopyVerdict::mismatch), QStringLiteral("НЕ СОВПАЛО"));
}
