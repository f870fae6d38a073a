#include "polish/PolishSelect.h"

#include "base/Graphemes.h"

#include <QRegularExpression>
#include <algorithm>

namespace murmelo::PolishSelect {

QString log(CopyVerdict verdict) {
    switch (verdict) {
    case CopyVerdict::match: return QStringLiteral("совпало");
    case CopyVerdict::matchIgnoringWhitespace: return QStringLiteral("совпало с точностью до пробелов");
    case CopyVerdict::mismatch: return QStringLiteral("НЕ СОВПАЛО");
    case CopyVerdict::empty: return QStringLiteral("буфер пуст");
    }
    return {};
}

AXRange clamp(AXRange range, qint64 length) {
    const qint64 max = std::max<qint64>(length, 0);
    const qint64 start = std::clamp<qint64>(range.location, 0, max);
    const qint64 end = std::clamp<qint64>(range.location + std::max<qint64>(range.length, 0), start, max);
    return {start, end - start};
}

std::optional<KeyPlan> keyPlan(const QString& value, AXRange range, qint64 caret) {
    const AXRange r = clamp(range, value.size());
    if (r.length < 1 || caret < 0 || caret > value.size()) return std::nullopt;
    const qint64 end = r.location + r.length;
    const qint64 lo = std::min(caret, end), hi = std::max(caret, end);
    const qint64 between = graphemeCount(value.mid(lo, hi - lo));
    KeyPlan plan;
    plan.move = caret <= end ? between : -between;
    plan.shiftLeft = graphemeCount(value.mid(r.location, r.length));
    return plan;
}

std::optional<qint64> anchor(const QString& selected, const QString& value, AXRange near) {
    if (selected.isEmpty() || value.isEmpty()) return std::nullopt;
    const AXRange r = clamp(near, value.size());
    const qint64 target = r.location + r.length;
    std::optional<qint64> best;
    for (qsizetype at = value.indexOf(selected); at >= 0; at = value.indexOf(selected, at + 1)) {
        const qint64 end = at + selected.size();
        // On equal distances the earlier occurrence stays.
        if (!best || std::abs(end - target) < std::abs(*best - target)) best = end;
    }
    if (!best || std::abs(*best - target) > MAX_DRIFT) return std::nullopt;
    return best;
}

CopyVerdict copyVerdict(const QString& expected, const std::optional<QString>& got) {
    if (!got || got->isEmpty()) return CopyVerdict::empty;
    if (*got == expected) return CopyVerdict::match;
    static const QRegularExpression runs(QStringLiteral("\\s+"));
    auto joined = [](const QString& s) { return s.split(runs, Qt::SkipEmptyParts).join(u' '); };
    if (joined(*got) == joined(expected)) return CopyVerdict::matchIgnoringWhitespace;
    return CopyVerdict::mismatch;
}

bool gateAllows(CopyVerdict verdict) { return verdict != CopyVerdict::mismatch; }

}  // namespace murmelo::PolishSelect
