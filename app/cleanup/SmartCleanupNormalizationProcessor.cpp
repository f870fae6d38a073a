#include "cleanup/SmartCleanupProcessors.h"

#include "base/Graphemes.h"
#include "cleanup/SmartCleanupRegex.h"

#include <unicode/uchar.h>

namespace murmelo {
namespace {

UChar32 firstScalar(const QString& character) {
    if (character.size() > 1 && character[0].isHighSurrogate() && character[1].isLowSurrogate()) {
        return UChar32(QChar::surrogateToUcs4(character[0], character[1]));
    }
    return character.isEmpty() ? 0 : UChar32(character[0].unicode());
}

bool isLetter(const QString& c) { return u_isUAlphabetic(firstScalar(c)); }

// The index of the first letter among the characters, or -1.
qsizetype firstLetter(const QStringList& characters) {
    for (qsizetype i = 0; i < characters.size(); ++i) {
        if (isLetter(characters[i])) return i;
    }
    return -1;
}

// The result starts with a capital when the dictation did, but never gains one the
// dictation did not have.
QString restoreFirstCapital(const QString& result, const QString& original) {
    if (result == original) return result;
    const QStringList before = graphemes(original);
    const qsizetype o = firstLetter(before);
    if (o < 0 || !u_isUUppercase(firstScalar(before[o]))) return result;
    QStringList after = graphemes(result);
    const qsizetype r = firstLetter(after);
    if (r < 0 || !u_isULowercase(firstScalar(after[r]))) return result;
    after[r] = after[r].toUpper();
    return after.join(QString());
}

}  // namespace

SmartCleanupProcessorResult SmartCleanupNormalizationProcessor::process(const QString& text, const SmartCleanupContext& context) const {
    static const struct {
        const char16_t* pattern;
        const char16_t* templ;
    } steps[] = {
        {uR"([ \t]+)", u" "},
        {uR"([ \t]+([,.;:!?]))", u"$1"},
        {uR"([ \t]*\n[ \t]*)", u"\n"},
        {uR"(\n{3,})", u"\n\n"},
        {uR"((?:,\s*){2,})", u", "},
    };
    QString current = text;
    for (const auto& step : steps) {
        current = SmartCleanupRegex::replace(SmartCleanupRegex::compile(QString::fromUtf16(step.pattern), 0), current,
                                             QString::fromUtf16(step.templ));
    }
    current = current.trimmed();
    current = restoreFirstCapital(current, context.original);
    if (current == text) return SmartCleanupProcessorResult::unchanged(text);
    return {current, {{SmartCleanupStage::normalization, {QStringLiteral("common.normalization")}, std::nullopt}}};
}

}  // namespace murmelo
