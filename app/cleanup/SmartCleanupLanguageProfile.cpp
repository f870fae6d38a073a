#include "cleanup/SmartCleanupLanguageProfile.h"

#include "base/Decimal.h"

namespace murmelo {
namespace {

SmartCleanupRuleID rid(const char16_t* raw) { return {QString::fromUtf16(raw)}; }

SmartCleanupLanguageProfile makeEnglish() {
    using K = SmartCleanupBacktrackKind;
    SmartCleanupLanguageProfile p;
    p.id = SmartCleanupLanguageID::english();
    // Each marker word ends at a word boundary, so that "i meant" or "rathers" is not
    // taken for a correction with its last letters as the corrected words.
    p.backtrackRules = {
        {rid(u"en.backtrack.tail"), QStringLiteral(R"([,;—–-]\s*(?:actually|rather|i\s+mean)(?![\p{L}\p{N}])\s*,?\s*)"),
         K::replaceTail},
        {rid(u"en.backtrack.discard"), QStringLiteral(R"([,;—–-]\s*scratch\s+that(?![\p{L}\p{N}])\s*[,;:]?\s*)"),
         K::discardClause},
    };
    p.unsafeCorrectionStarts = {u"than"_qs, u"because"_qs, u"that"_qs, u"if"_qs, u"when"_qs};
    p.fillerRules = {{rid(u"en.filler.hesitation"), QStringLiteral(R"((?:uh+|um+|erm+))")}};
    p.commandRules = {
        {rid(u"en.command.paragraph"), QStringLiteral(R"(new\s+paragraph)"), QStringLiteral("\n\n")},
        {rid(u"en.command.line"), QStringLiteral(R"(new\s+line)"), QStringLiteral("\n")},
        {rid(u"en.command.question"), QStringLiteral(R"(question\s+mark)"), QStringLiteral("?")},
        {rid(u"en.command.exclamation"), QStringLiteral(R"(exclamation\s+mark)"), QStringLiteral("!")},
        {rid(u"en.command.colon"), QStringLiteral("colon"), QStringLiteral(":")},
        {rid(u"en.command.semicolon"), QStringLiteral("semicolon"), QStringLiteral(";")},
        {rid(u"en.command.comma"), QStringLiteral("comma"), QStringLiteral(",")},
        {rid(u"en.command.period"), QStringLiteral("period"), QStringLiteral(".")},
    };
    p.listMarkers = {u"number"_qs, u"point"_qs, u"step"_qs, u"item"_qs};
    p.explicitNumberPrefixes = {QStringLiteral(R"(as\s+a\s+number)")};
    p.cardinalNumbers = {
        {u"zero"_qs, 0},      {u"one"_qs, 1},        {u"two"_qs, 2},       {u"three"_qs, 3},
        {u"four"_qs, 4},      {u"five"_qs, 5},       {u"six"_qs, 6},       {u"seven"_qs, 7},
        {u"eight"_qs, 8},     {u"nine"_qs, 9},       {u"ten"_qs, 10},      {u"eleven"_qs, 11},
        {u"twelve"_qs, 12},   {u"thirteen"_qs, 13},  {u"fourteen"_qs, 14}, {u"fifteen"_qs, 15},
        {u"sixteen"_qs, 16},  {u"seventeen"_qs, 17}, {u"eighteen"_qs, 18}, {u"nineteen"_qs, 19},
        {u"twenty"_qs, 20},
    };
    p.listOrdinalNumbers = {
        {u"first"_qs, 1}, {u"second"_qs, 2}, {u"third"_qs, 3}, {u"fourth"_qs, 4}, {u"fifth"_qs, 5},
        {u"sixth"_qs, 6}, {u"seventh"_qs, 7}, {u"eighth"_qs, 8}, {u"ninth"_qs, 9}, {u"tenth"_qs, 10},
    };
    p.listNumbers = p.cardinalNumbers.merged(p.listOrdinalNumbers);
    p.listDiscourseNumbers = {
        {u"firstly"_qs, 1},  {u"secondly"_qs, 2}, {u"thirdly"_qs, 3}, {u"fourthly"_qs, 4},
        {u"fifthly"_qs, 5},  {u"sixthly"_qs, 6},  {u"seventhly"_qs, 7}, {u"eighthly"_qs, 8},
        {u"ninthly"_qs, 9},  {u"tenthly"_qs, 10},
    };
    p.listHeaderCues = {u"plan"_qs, u"list"_qs, u"steps"_qs, u"tasks"_qs, u"points"_qs, u"stages"_qs};
    p.unitRules = {
        {rid(u"en.unit.percent"), QStringLiteral(R"(percent(?:s)?)"), QStringLiteral("%"), true},
        {rid(u"en.unit.kilogram"), QStringLiteral(R"((?:kilogram(?:s)?|kg))"), QStringLiteral("kg"), false},
        {rid(u"en.unit.minute"), QStringLiteral(R"(minute(?:s)?)"), QStringLiteral("min"), false},
        {rid(u"en.unit.hour"), QStringLiteral(R"(hour(?:s)?)"), QStringLiteral("h"), false},
    };
    return p;
}

SmartCleanupLanguageProfile makeRussian() {
    using K = SmartCleanupBacktrackKind;
    SmartCleanupLanguageProfile p;
    p.id = SmartCleanupLanguageID::russian();
    // Marker words that may stand without a comma after them end at a word boundary, so
    // that "отменить подписку" or "лучшего" is not taken for a correction.
    p.backtrackRules = {
        {rid(u"ru.backtrack.tail"),
         QStringLiteral(R"((?:,\s*нет\s*,\s*(?:лучше(?![\p{L}\p{N}])\s*,?\s*)?|[,;—–-]\s*(?:точнее|вернее)\s*,\s*))"),
         K::replaceTail},
        {rid(u"ru.backtrack.discard"),
         QStringLiteral(R"([,;—–-]\s*(?:отмени(?:\s+это)?|забудь(?:\s+это)?)(?![\p{L}\p{N}])\s*[,;:]?\s*)"),
         K::discardClause},
    };
    p.unsafeCorrectionStarts = {u"чем"_qs, u"потому"_qs, u"что"_qs, u"если"_qs, u"когда"_qs};
    p.fillerRules = {{rid(u"ru.filler.hesitation"), QStringLiteral(R"((?:э+(?:-э+)*|эм+))")}};
    p.commandRules = {
        {rid(u"ru.command.paragraph"), QStringLiteral(R"(новый\s+абзац)"), QStringLiteral("\n\n")},
        {rid(u"ru.command.line"), QStringLiteral(R"((?:новая\s+строка|с\s+новой\s+строки))"), QStringLiteral("\n")},
        {rid(u"ru.command.question"), QStringLiteral(R"(вопросительный\s+знак)"), QStringLiteral("?")},
        {rid(u"ru.command.exclamation"), QStringLiteral(R"(восклицательный\s+знак)"), QStringLiteral("!")},
        {rid(u"ru.command.colon"), QStringLiteral("двоеточие"), QStringLiteral(":")},
        // Before the full stop: "точка с запятой" must not become ". с запятой".
        {rid(u"ru.command.semicolon"), QStringLiteral(R"(точка\s+с\s+запятой)"), QStringLiteral(";")},
        {rid(u"ru.command.comma"), QStringLiteral("запятая"), QStringLiteral(",")},
        {rid(u"ru.command.period"), QStringLiteral("точка"), QStringLiteral(".")},
    };
    p.listMarkers = {u"пункт"_qs, u"номер"_qs, u"шаг"_qs};
    p.explicitNumberPrefixes = {u"цифрой"_qs};
    p.cardinalNumbers = {
        {u"ноль"_qs, 0},          {u"один"_qs, 1},          {u"одна"_qs, 1},
        {u"два"_qs, 2},           {u"две"_qs, 2},           {u"три"_qs, 3},
        {u"четыре"_qs, 4},        {u"пять"_qs, 5},          {u"шесть"_qs, 6},
        {u"семь"_qs, 7},          {u"восемь"_qs, 8},        {u"девять"_qs, 9},
        {u"десять"_qs, 10},       {u"одиннадцать"_qs, 11},  {u"двенадцать"_qs, 12},
        {u"тринадцать"_qs, 13},   {u"четырнадцать"_qs, 14}, {u"пятнадцать"_qs, 15},
        {u"шестнадцать"_qs, 16},  {u"семнадцать"_qs, 17},   {u"восемнадцать"_qs, 18},
        {u"девятнадцать"_qs, 19}, {u"двадцать"_qs, 20},
    };
    p.listOrdinalNumbers = {
        {u"первый"_qs, 1},    {u"первое"_qs, 1},    {u"первая"_qs, 1},    {u"второй"_qs, 2},
        {u"второе"_qs, 2},    {u"вторая"_qs, 2},    {u"третий"_qs, 3},    {u"третье"_qs, 3},
        {u"третья"_qs, 3},    {u"четвертый"_qs, 4}, {u"четвёртый"_qs, 4}, {u"четвертое"_qs, 4},
        {u"четвёртое"_qs, 4}, {u"пятый"_qs, 5},     {u"пятое"_qs, 5},     {u"шестой"_qs, 6},
        {u"шестое"_qs, 6},    {u"седьмой"_qs, 7},   {u"седьмое"_qs, 7},   {u"восьмой"_qs, 8},
        {u"восьмое"_qs, 8},   {u"девятый"_qs, 9},   {u"девятое"_qs, 9},   {u"десятый"_qs, 10},
        {u"десятое"_qs, 10},
    };
    p.listNumbers = p.cardinalNumbers.merged(p.listOrdinalNumbers);
    p.listDiscourseNumbers = {
        {u"во-первых"_qs, 1},   {u"во-вторых"_qs, 2},  {u"в-третьих"_qs, 3}, {u"в-четвертых"_qs, 4},
        {u"в-четвёртых"_qs, 4}, {u"в-пятых"_qs, 5},    {u"в-шестых"_qs, 6},  {u"в-седьмых"_qs, 7},
        {u"в-восьмых"_qs, 8},   {u"в-девятых"_qs, 9},  {u"в-десятых"_qs, 10},
    };
    p.listHeaderCues = {u"план"_qs, u"список"_qs, u"шаги"_qs, u"задачи"_qs, u"пункты"_qs, u"этапы"_qs};
    p.unitRules = {
        {rid(u"ru.unit.percent"), QStringLiteral(R"(процент(?:а|ов)?)"), QStringLiteral("%"), true},
        {rid(u"ru.unit.kilogram"), QStringLiteral(R"((?:килограмм(?:а|ов)?|кг))"), QStringLiteral("кг"), false},
    };
    return p;
}

}  // namespace

std::optional<SmartCleanupSkillID> SmartCleanupSkillID::fromJson(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    return SmartCleanupSkillID{value.toString()};
}

QString SmartCleanupUnitRule::format(qint64 value) const {
    return QString::number(value) + (compact ? QString() : QStringLiteral(" ")) + suffix;
}

SmartCleanupNumberTable::SmartCleanupNumberTable(std::initializer_list<std::pair<QString, qint64>> entries) {
    for (const auto& [word, value] : entries) {
        if (values_.contains(word)) continue;
        keys_.append(word);
        values_.insert(word, value);
    }
}

std::optional<qint64> SmartCleanupNumberTable::value(const QString& word) const {
    const auto it = values_.constFind(word);
    if (it == values_.constEnd()) return std::nullopt;
    return it.value();
}

SmartCleanupNumberTable SmartCleanupNumberTable::merged(const SmartCleanupNumberTable& other) const {
    SmartCleanupNumberTable out = *this;
    for (const QString& word : other.keys_) {
        if (out.values_.contains(word)) continue;
        out.keys_.append(word);
        out.values_.insert(word, other.values_.value(word));
    }
    return out;
}

std::optional<qint64> SmartCleanupLanguageProfile::numberValue(const QString& word, bool allowListOrdinals) const {
    if (const auto parsed = parseDecimal(word)) return parsed;
    const QString lower = word.toLower();
    if (allowListOrdinals) {
        if (const auto v = listNumbers.value(lower)) return v;
    }
    return cardinalNumbers.value(lower);
}

const SmartCleanupLanguageProfile& SmartCleanupLanguageProfile::english() {
    static const SmartCleanupLanguageProfile profile = makeEnglish();
    return profile;
}

const SmartCleanupLanguageProfile& SmartCleanupLanguageProfile::russian() {
    static const SmartCleanupLanguageProfile profile = makeRussian();
    return profile;
}

}  // namespace murmelo
