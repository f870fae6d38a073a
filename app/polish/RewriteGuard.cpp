#include "polish/RewriteGuard.h"

#include "base/Graphemes.h"
#include "base/Log.h"

namespace murmelo::RewriteGuard {

namespace {

constexpr int kMinLength = 20;
constexpr int kShrinkFactor = 3;
constexpr int kGrowFactor = 2;
constexpr int kGrowSlack = 40;
constexpr double kScriptShift = 0.4;
constexpr int kMinLetters = 8;

bool isRussianLetter(const QString& ch) {
    if (ch == QStringLiteral("ё") || ch == QStringLiteral("Ё")) return true;
    // Compared as strings: a base letter with a combining mark still falls in its range.
    return (ch >= QStringLiteral("а") && ch <= QStringLiteral("я")) ||
           (ch >= QStringLiteral("А") && ch <= QStringLiteral("Я"));
}

// Share of Russian letters among all letters; none when too few letters to judge.
std::optional<double> cyrillicShare(const QString& text) {
    int letters = 0;
    int cyrillic = 0;
    for (const QString& ch : graphemes(text)) {
        if (ch.isEmpty()) continue;
        const char32_t first = ch.toUcs4().value(0);
        if (!QChar::isLetter(first)) continue;
        ++letters;
        if (isRussianLetter(ch)) ++cyrillic;
    }
    if (letters < kMinLetters) return std::nullopt;
    return double(cyrillic) / double(letters);
}

}  // namespace

std::optional<QString> rejectionReason(const QString& original, const QString& candidate,
                                       const Allowances& allowing) {
    const QString source = original.trimmed();
    const QString answer = candidate.trimmed();
    if (answer.isEmpty()) return QStringLiteral("пусто");
    if (answer.count(QStringLiteral("</think")) < answer.count(QStringLiteral("<think")))
        return QStringLiteral("незакрытый <think>");

    const int sourceCount = graphemeCount(source);
    if (sourceCount < kMinLength) return std::nullopt;
    const int answerCount = graphemeCount(answer);
    const QString counts = QString::number(answerCount) + QLatin1Char('/') + QString::number(sourceCount);
    if (!allowing.mayShrink && answerCount * kShrinkFactor < sourceCount)
        return QStringLiteral("усадка ") + counts + QStringLiteral(" симв.");
    if (!allowing.mayGrow && sourceCount * kGrowFactor + kGrowSlack < answerCount)
        return QStringLiteral("раздувание ") + counts + QStringLiteral(" симв.");
    if (!allowing.mayChangeScript) {
        const auto before = cyrillicShare(source);
        const auto after = cyrillicShare(answer);
        if (before && after && std::abs(*before - *after) > kScriptShift)
            return QStringLiteral("сменилась письменность (") + QString::number(int(*before * 100)) +
                   QStringLiteral("% → ") + QString::number(int(*after * 100)) + QStringLiteral("% кириллицы)");
    }
    return std::nullopt;
}

QString accept(const QString& original, const QString& candidate, const QString& layer) {
    const auto reason = rejectionReason(original, candidate, Allowances::none());
    if (!reason) return candidate;
    logLine(QStringLiteral("⚠ ") + layer + QStringLiteral(": результат отклонён (") + *reason +
            QStringLiteral(") — вставляю исходный текст"));
    return original;
}

}  // namespace murmelo::RewriteGuard
