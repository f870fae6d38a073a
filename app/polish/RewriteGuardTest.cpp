#include "polish/RewriteGuard.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;
using RewriteGuard::Allowances;

namespace {
QString rep(const QString& s, int n) { return s.repeated(n); }
}  // namespace

TEST(RewriteGuardTest, RulesInOrder) {
    struct Case {
        const char* name;
        QString source;
        QString candidate;
        Allowances allowing;
        std::optional<QString> reason;
    };
    const QString ru30 = rep(QStringLiteral("а"), 30);
    const QString ru20 = rep(QStringLiteral("а"), 20);
    const Case cases[] = {
        {"only spaces is empty even for an empty source", "", "   \n", {}, QStringLiteral("пусто")},
        {"unclosed reasoning block on a short source", "hello", "<think>hm", {}, QStringLiteral("незакрытый <think>")},
        {"closed reasoning block passes", "hello", "<think>hm</think> hello", {}, std::nullopt},
        {"short source takes anything", rep("x", 19), rep("y", 500), {}, std::nullopt},
        {"short source counted after trimming", "  " + rep("x", 19) + "\n", rep("y", 500), {}, std::nullopt},
        {"shrink to a third passes", ru30, rep(QStringLiteral("а"), 10), {}, std::nullopt},
        {"shrink below a third", ru30, rep(QStringLiteral("а"), 9), {}, QStringLiteral("усадка 9/30 симв.")},
        {"shrink allowed", ru30, rep(QStringLiteral("а"), 9), {true, false, false}, std::nullopt},
        {"growth to twice plus 40 passes", ru20, rep(QStringLiteral("а"), 80), {}, std::nullopt},
        {"growth beyond", ru20, rep(QStringLiteral("а"), 81), {}, QStringLiteral("раздувание 81/20 симв.")},
        {"growth allowed", ru20, rep(QStringLiteral("а"), 81), {false, true, false}, std::nullopt},
        {"counts are characters, not code units", rep(QStringLiteral("е\u0301"), 30), rep(QStringLiteral("е\u0301"), 10), {}, std::nullopt},
        {"script changed", QStringLiteral("привет как дела у тебя"), QStringLiteral("hello how are you doing"), {},
         QStringLiteral("сменилась письменность (100% → 0% кириллицы)")},
        {"script change allowed", QStringLiteral("привет как дела у тебя"), QStringLiteral("hello how are you doing"),
         {false, false, true}, std::nullopt},
        {"too few letters for a script verdict", QStringLiteral("abcdefg 1234567890123456"),
         QStringLiteral("абвгдеж 1234567890123456"), {}, std::nullopt},
        {"a shift of exactly 0.4 passes", rep(QStringLiteral("а"), 20),
         rep(QStringLiteral("ааааааbbbb"), 2), {}, std::nullopt},
        {"a shift above 0.4", rep(QStringLiteral("а"), 20), rep(QStringLiteral("аааааbbbbb"), 2), {},
         QStringLiteral("сменилась письменность (100% → 50% кириллицы)")},
        {"Ukrainian letters are letters but not Russian", rep(QStringLiteral("а"), 20), rep(QStringLiteral("ааааіііііі"), 2), {},
         QStringLiteral("сменилась письменность (100% → 40% кириллицы)")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RewriteGuard::rejectionReason(c.source, c.candidate, c.allowing), c.reason) << c.name;
    }
}

TEST(RewriteGuardTest, AcceptFallsBackToTheSourceAndSaysWhy) {
    test::TestEnvironment env;
    const QString source = QStringLiteral("  исходный текст диктовки, довольно длинный\n");
    EXPECT_EQ(RewriteGuard::accept(source, QStringLiteral("Исходный текст диктовки, довольно длинный."), "Smart Cleanup"),
              QStringLiteral("Исходный текст диктовки, довольно длинный."));
    EXPECT_FALSE(env.logContains("отклонён"));
    EXPECT_EQ(RewriteGuard::accept(source, QStringLiteral("ок"), "Smart Cleanup"), source);
    EXPECT_TRUE(env.logContains("⚠ Smart Cleanup: результат отклонён (усадка 2/41 симв.) — вставляю исходный текст"));
}
