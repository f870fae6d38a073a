#include "polish/PolishScope.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/MainQueue.h"

#include <QStringList>

namespace murmelo {

namespace {

bool isEnder(const QString& c) {
    return c == QStringLiteral(".") || c == QStringLiteral("!") || c == QStringLiteral("?") ||
           c == QStringLiteral("…");
}
bool isCloser(const QString& c) {
    return c == QStringLiteral("\"") || c == QStringLiteral("»") || c == QStringLiteral(")") ||
           c == QStringLiteral("'") || c == QStringLiteral("”") || c == QStringLiteral("“");
}
bool isSkippedSpace(const QString& c) {
    // A CR LF pair is one character and deliberately not among these.
    return c == QStringLiteral(" ") || c == QStringLiteral("\n") || c == QStringLiteral("\t") ||
           c == QStringLiteral("\r");
}
bool hasContent(const QString& s) { return !s.trimmed().isEmpty(); }

// The text after the boundary when the text starts with it.
std::optional<QString> afterBoundary(const QString& text, const QString& boundary) {
    if (boundary.isEmpty() || !text.startsWith(boundary)) return std::nullopt;
    return text.mid(boundary.size());
}

}  // namespace

PolishScope::Split PolishScope::splitLastSentence(const QString& text) {
    const QStringList chars = graphemes(text);
    const int n = int(chars.size());
    int cut = 0;
    int i = 0;
    while (i < n) {
        if (!isEnder(chars[i])) {
            ++i;
            continue;
        }
        int j = i + 1;
        while (j < n && (isEnder(chars[j]) || isCloser(chars[j]))) ++j;
        int l = j;
        while (l < n && isSkippedSpace(chars[l])) ++l;
        if (l < n) cut = l;
        i = j;
    }
    return {chars.mid(0, cut).join(QString()), chars.mid(cut).join(QString())};
}

PolishScope::Split PolishScope::scope(const QString& text, bool hadSelection,
                                      const std::optional<PolishParagraphIdentity>& paragraphID,
                                      PolishScopeMode mode) {
    const int count = graphemeCount(text);
    if (hadSelection) {
        lastPolishParagraphID.reset();
        if (count <= POLISH_MAX_CHARS) return {QString(), text};
        logLine(QStringLiteral("polish: выделение ") + QString::number(count) + QStringLiteral(" симв. — больше потолка ") +
                QString::number(POLISH_MAX_CHARS) + QStringLiteral(", чиню последнее предложение"));
        return splitLastSentence(text);
    }

    if (mode == PolishScopeMode::lastSentenceIncremental) {
        lastPolishParagraphID.reset();
        const double now = Clock::shared().uptime();
        const bool repeat = lastManualPolishAt_ && now - *lastManualPolishAt_ < POLISH_AGAIN_WINDOW &&
                            text == lastManualPolishText_;
        lastManualPolishAt_ = now;
        lastManualPolishText_ = text;
        // Asked again for the same text: polish the last sentence afresh.
        if (repeat) lastPolishOutput.clear();
        if (const auto rest = afterBoundary(text, lastPolishOutput); rest && hasContent(*rest))
            return {lastPolishOutput, *rest};
        return splitLastSentence(text);
    }

    if (paragraphID != lastPolishParagraphID) {
        lastPolishOutput.clear();
        lastPolishParagraphID = paragraphID;
    }
    if (const auto rest = afterBoundary(text, lastPolishOutput)) {
        if (hasContent(*rest)) return {lastPolishOutput, *rest};
        return {text, QString()};  // the paragraph is already polished
    }
    if (count <= POLISH_MAX_CHARS) return {QString(), text};
    logLine(QStringLiteral("polish: paragraph ") + QString::number(count) + QStringLiteral(" chars exceeds ") +
            QString::number(POLISH_MAX_CHARS) + QStringLiteral("; polishing the last sentence"));
    return splitLastSentence(text);
}

}  // namespace murmelo
