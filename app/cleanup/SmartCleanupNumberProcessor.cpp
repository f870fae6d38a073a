#include "cleanup/SmartCleanupProcessors.h"

#include "cleanup/SmartCleanupRegex.h"

namespace murmelo {
namespace {

// Replaces each match whose group 1 is a number of the profile; matches without a value
// (a digit string too long for 64 bits) stay as they are.
QString convert(const Regex& regex, const QString& text, const SmartCleanupLanguageProfile& profile,
                const std::function<QString(qint64)>& render) {
    return SmartCleanupRegex::replaceWithCallback(
        regex, text, [&](const Regex::Match& m, const QString& source) -> std::optional<QString> {
            const std::optional<qint64> value = profile.numberValue(m.captured(source, 1), false);
            if (!value) return std::nullopt;
            return render(*value);
        });
}

}  // namespace

SmartCleanupProcessorResult SmartCleanupNumberProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    if (context.mode != SmartCleanupMode::structured) return SmartCleanupProcessorResult::unchanged(text);
    QString current = text;
    QList<SmartCleanupTrace> trace;
    for (const SmartCleanupLanguageProfile& profile : context.profiles) {
        const QString words = SmartCleanupRegex::escapedAlternation(profile.cardinalNumbers.keys());
        const QString number =
            words.isEmpty() ? QStringLiteral(R"(\d+)") : QStringLiteral(R"((?:\d+|)") + words + QLatin1Char(')');

        if (!profile.explicitNumberPrefixes.isEmpty()) {
            const QString pattern = QStringLiteral(R"((?<![\p{L}\p{N}])(?:)") + profile.explicitNumberPrefixes.join(QLatin1Char('|')) +
                                    QStringLiteral(R"()\s+()") + number + QStringLiteral(R"()(?![\p{L}\p{N}]))");
            const QString next = convert(SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive), current, profile,
                                         [](qint64 v) { return QString::number(v); });
            if (next != current) {
                trace.append({SmartCleanupStage::numbers, {profile.id.rawValue + QStringLiteral(".number.explicit")}, profile.id});
                current = next;
            }
        }

        for (const SmartCleanupUnitRule& rule : profile.unitRules) {
            const QString pattern = QStringLiteral(R"((?<![\p{L}\p{N}])()") + number + QStringLiteral(R"()\s+()") + rule.unitPattern +
                                    QStringLiteral(R"()(?![\p{L}\p{N}]))");
            const QString next = convert(SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive), current, profile,
                                         [&rule](qint64 v) { return rule.format(v); });
            if (next != current) {
                trace.append({SmartCleanupStage::numbers, rule.id, profile.id});
                current = next;
            }
        }
    }
    return {current, trace};
}

}  // namespace murmelo
