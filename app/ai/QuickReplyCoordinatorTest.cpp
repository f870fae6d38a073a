#include "ai/QuickReplyCoordinator.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString FALLBACK = QStringLiteral("Ответ по содержимому экрана");

TEST(QuickReplyCoordinatorTest, DisplayTitleTakesTheFirstLineCollapsedOrTheFallback) {
    struct Row {
        const char* name;
        QString title;
        QString expected;
    } rows[] = {
        {"generic", QStringLiteral("Готово"), FALLBACK},
        {"generic after collapsing", QStringLiteral("  answer   READY "), FALLBACK},
        {"empty", QString(), FALLBACK},
        {"only line breaks", QStringLiteral("\n\r\u2028"), FALLBACK},
        {"first non-empty line", QStringLiteral("\n\nОтвет Ивану\nпро встречу"), QStringLiteral("Ответ Ивану")},
        {"paragraph separator", QStringLiteral("Письмо\u2029второе"), QStringLiteral("Письмо")},
        {"tabs collapse", QStringLiteral("\tОтвет \t Ивану "), QStringLiteral("Ответ Ивану")},
        {"120 characters", QString(120, QChar(u'ж')), QString(80, QChar(u'ж'))},
        // A cut never splits a letter from its combining mark.
        {"grapheme cap", QString(79, QChar(u'a')) + QStringLiteral("е\u0301xyz"), QString(79, QChar(u'a')) + QStringLiteral("е\u0301")},
    };
    for (const Row& r : rows)
        EXPECT_EQ(QuickReplyCoordinator::normalizedDisplayTitle(r.title, FALLBACK), r.expected) << r.name;
}

TEST(QuickReplyCoordinatorTest, UnsupportedNumbersAreTheReplysOwnNormalisedAndSorted) {
    struct Row {
        const char* name;
        QString reply;
        QString source;
        QStringList expected;
    } rows[] = {
        {"ordinal supported, time not", QStringLiteral("Встречаемся 3rd в 15:30"), QStringLiteral("встреча 3 числа"), {"15:30"}},
        {"time with another separator", QStringLiteral("в 16:00"), QStringLiteral("в 16.00"), {"16:00"}},
        {"ordinal suffix dropped", QStringLiteral("the 1st"), QStringLiteral("day 1"), {}},
        {"ordinal not glued to letters", QStringLiteral("1stop"), QStringLiteral(""), {}},
        {"decimal", QStringLiteral("3.5 часа"), QStringLiteral("3,5 часа"), {"3.5"}},
        {"range", QStringLiteral("2-3 дня"), QStringLiteral("2 или 3 дня"), {"2-3"}},
        {"grouped by spaces", QStringLiteral("1 000 рублей"), QStringLiteral("1000 рублей"), {}},
        {"grouped by a no-break space stays", QStringLiteral("1\u00a0000"), QStringLiteral("1000"), {"1\u00a0000"}},
        {"dot grouping is another number", QStringLiteral("1.000"), QStringLiteral("1000"), {"1.000"}},
        {"glued to a letter", QStringLiteral("A4 и 5"), QStringLiteral(""), {"5"}},
        {"once each, string order", QStringLiteral("9, потом 10 и снова 9"), QStringLiteral(""), {"10", "9"}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(QuickReplyCoordinator::unsupportedNumbers(r.reply, r.source), r.expected) << r.name;
}

}  // namespace
