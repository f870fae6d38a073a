#include "layout/DecisionCoreV2.h"

#include "base/Graphemes.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/WordTables.h"

namespace murmelo {

namespace {

bool isLetter(const QString& character) { return !character.isEmpty() && QChar::isLetter(character.toUcs4().value(0)); }
bool isUpperLetter(const QString& character) {
    if (!isLetter(character)) return false;
    return QChar::isUpper(character.toUcs4().value(0));
}
bool onlyLetters(const QStringList& chars) {
    for (const QString& c : chars)
        if (!isLetter(c)) return false;
    return true;
}
bool yes(const std::optional<bool>& answer) { return answer.value_or(false); }

// The word between its first and last letter.
QStringList letterCore(const QString& word) {
    const QStringList chars = graphemes(word);
    qsizetype first = 0, last = chars.size() - 1;
    while (first <= last && !isLetter(chars[first])) ++first;
    while (last >= first && !isLetter(chars[last])) --last;
    return first > last ? QStringList() : chars.mid(first, last - first + 1);
}

DecisionResultV2 result(VerdictV2 v, const char* reason) { return {std::move(v), QString::fromLatin1(reason)}; }

}  // namespace

QString VerdictV2::label() const {
    switch (kind) {
    case Kind::convert: return QStringLiteral("convert(") + language + QStringLiteral(")");
    case Kind::keep: return QStringLiteral("keep");
    case Kind::deferToBoundary: return QStringLiteral("defer");
    }
    return {};
}

QString rawValue(WordStartV2 v) {
    switch (v) {
    case WordStartV2::clean: return QStringLiteral("clean");
    case WordStartV2::click: return QStringLiteral("click");
    case WordStartV2::nav: return QStringLiteral("nav");
    case WordStartV2::bs: return QStringLiteral("bs");
    case WordStartV2::mod: return QStringLiteral("mod");
    }
    return {};
}

std::optional<WordStartV2> wordStartFromRaw(const QString& raw) {
    for (WordStartV2 v : {WordStartV2::clean, WordStartV2::click, WordStartV2::nav, WordStartV2::bs, WordStartV2::mod})
        if (rawValue(v) == raw) return v;
    return std::nullopt;
}

QString rawValue(WriteOriginV2 v) {
    switch (v) {
    case WriteOriginV2::human: return QStringLiteral("human");
    case WriteOriginV2::layout: return QStringLiteral("layout");
    case WriteOriginV2::polish: return QStringLiteral("polish");
    case WriteOriginV2::dictation: return QStringLiteral("dictation");
    }
    return {};
}

std::optional<QString> EvidenceModelV2::keysLayout() const {
    std::optional<QString> lang;
    for (const auto& k : keys) {
        if (!k.deliveredBy) continue;
        if (lang && *lang != *k.deliveredBy) return std::nullopt;
        lang = k.deliveredBy;
    }
    return lang;
}

std::optional<QString> EvidenceModelV2::scriptLayout() const {
    int latin = 0, cyrillic = 0;
    for (QChar c : word) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) ++latin;
        else if ((c >= u'а' && c <= u'я') || (c >= u'А' && c <= u'Я') || c == u'ё' || c == u'Ё') ++cyrillic;
    }
    if (latin == 0 && cyrillic == 0) return std::nullopt;
    return latin > cyrillic ? QStringLiteral("en") : QStringLiteral("ru");
}

std::optional<QString> EvidenceModelV2::typedLayout() const {
    if (auto k = keysLayout()) return k;
    return scriptLayout();
}

std::vector<KeyEvidenceV2> EvidenceModelV2::alignKeys(const QString& word, const std::vector<KeyEvidenceV2>& observed) {
    const QStringList chars = graphemes(word);
    std::vector<KeyEvidenceV2> out(chars.size());
    qsizetype i = chars.size() - 1;
    auto key = observed.rbegin();
    for (; i >= 0 && key != observed.rend() && key->character == chars[i]; --i, ++key) out[i] = *key;
    for (; i >= 0; --i) out[i] = KeyEvidenceV2{std::nullopt, chars[i], std::nullopt};
    return out;
}

std::optional<QString> LanguagePairV2::other(const QString& lang) const {
    if (lang == first) return second;
    if (lang == second) return first;
    return std::nullopt;
}

DecisionResultV2 decideV2(const EvidenceModelV2& model, const LanguagePairV2& pair) {
    const bool atBoundary = model.boundary.has_value();
    const QStringList coreChars = letterCore(model.word);
    if (coreChars.isEmpty()) return result(VerdictV2::keep(), "no-letter-core");
    const QString core = coreChars.join(QString());
    const int coreLen = int(coreChars.size());

    const std::optional<QString> typed = model.typedLayout();
    if (!typed) return result(VerdictV2::keep(), "keys-silent");
    const std::optional<QString> target = pair.other(*typed);
    if (!target) return result(VerdictV2::keep(), "foreign-layout");

    const auto isWord = [&](const QString& w, const QString& l) {
        return pair.words && yes(pair.words->isRealWordInLayout(w, l, true));
    };
    const auto convert = [](const QString& t, const QString& from, const QString& to) {
        return LayoutMaps::convert(t, from, to);
    };
    const auto protectedPrefix = [&](const QString& w, const QString& l) {
        return pair.words && l == pair.prefixLanguage && pair.words->livePrefixes().contains(graphemeCount(w), w);
    };

    if (isWord(core.toLower(), *typed)) return result(VerdictV2::keep(), "dict-current");

    if (!atBoundary && coreLen >= pair.calibrations.prefixVetoMinCore && protectedPrefix(core.toLower(), *typed))
        return result(VerdictV2::deferToBoundary(), "r12-prefix-veto");

    const auto& cal = pair.calibrations;
    if (cal.capsPullsToward && coreLen >= cal.capsAbbrevMinLen && coreLen <= cal.capsAbbrevMaxLen) {
        bool allUpper = true;
        for (const QString& c : coreChars) allUpper = allUpper && isUpperLetter(c);
        const std::optional<QString> converted = allUpper ? convert(core, *typed, *target) : std::nullopt;
        if (converted && !converted->isEmpty() && onlyLetters(graphemes(*converted))) {
            const bool typedTowardPull = *typed == *cal.capsPullsToward;
            const QString lookup = typedTowardPull ? *converted : core;
            const QString lookupLang = typedTowardPull ? *target : *typed;
            const bool curated =
                pair.words && yes(pair.words->isRealShortWordCurated(lookup.toLower(), lookupLang, true));
            if (!curated) {
                if (typedTowardPull)
                    return atBoundary ? result(VerdictV2::keep(), "r39-caps-keep")
                                      : result(VerdictV2::deferToBoundary(), "r39-caps-live-veto");
                if (atBoundary) return result(VerdictV2::convertTo(*cal.capsPullsToward), "r39-caps-rescue");
            }
        }
    }

    const std::optional<QString> converted = convert(core, *typed, *target);
    if (!converted || converted->isEmpty() || !onlyLetters(graphemes(*converted)) ||
        !isWord(converted->toLower(), *target))
        return atBoundary ? result(VerdictV2::keep(), "no-evidence")
                          : result(VerdictV2::deferToBoundary(), "no-evidence-yet");

    if (model.start != WordStartV2::clean && coreLen <= cal.shortTokenMaxLen)
        return result(VerdictV2::keep(), "short-token-edit-gate");
    if (!atBoundary && coreLen <= cal.shortTokenMaxLen)
        return result(VerdictV2::deferToBoundary(), "short-core-awaits-boundary");
    const bool confirms = !cal.firstWordConfirms || *cal.firstWordConfirms == *target;
    return result(VerdictV2::convertTo(*target), confirms ? "dict-twin" : "dict-twin|tis-hold");
}

}  // namespace murmelo
