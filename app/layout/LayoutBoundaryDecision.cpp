#include "layout/LayoutBoundaryDecision.h"

#include "base/Log.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutParts.h"
#include "layout/ManualInputSourceProfileV1.h"

#include <QLocale>
#include <limits>
#include <memory>

namespace murmelo {

namespace {

const QString kEn = QStringLiteral("en");
const QString kRu = QStringLiteral("ru");
using BufStart = LayoutSwitcher::BufStart;

bool isLatinLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

QString lettersOf(const QString& text) {
    QString out;
    for (const QString& c : wordChars(text))
        if (isLetterChar(c)) out += c;
    return out;
}

QString shortest(double d) { return QString::number(d, 'g', QLocale::FloatingPointShortest); }
QString twoPlaces(double d) { return QString::asprintf("%.2f", d); }

bool holdsNumberSlashOrAmpersand(const QString& text) {
    for (char32_t cp : text.toUcs4())
        if (QChar::isNumber(cp) || cp == U'/' || cp == U'&') return true;
    return false;
}

}  // namespace

LayoutBoundaryDecision::LayoutBoundaryDecision(LayoutSwitcher& engine)
    : LayoutBoundaryDecision(engine, LayoutLexicons::shared()) {}

LayoutBoundaryDecision::LayoutBoundaryDecision(LayoutSwitcher& engine, LayoutLexicons& lexicons)
    : engine_(engine), lex_(lexicons), checks_(lexicons), shape_(engine, checks_) {}

std::optional<QString> LayoutBoundaryDecision::currentLayoutId() const {
    return ManualInputSourceProfileV1::language(engine_.observedSourceID());
}

std::optional<QString> LayoutBoundaryDecision::sourceLayout(const QString& word) const {
    int cyrillic = 0, latin = 0;
    for (QChar c : word) {
        if (LayoutLexicons::isCyrillicLetter(c)) ++cyrillic;
        else if (isLatinLetter(c)) ++latin;
    }
    if (cyrillic == 0 && latin == 0) return currentLayoutId();
    return latin > cyrillic ? kEn : kRu;
}

std::optional<WordAnalysis> LayoutBoundaryDecision::analyze(const QString& word, const QString& typed) const {
    const QStringList& order = LayoutMaps::layoutOrder();
    QHash<QString, QString> readings;
    QHash<QString, double> scores;
    for (const QString& layout : order) {
        const std::optional<QString> reading = LayoutMaps::convert(word, typed, layout);
        if (!reading) continue;
        readings.insert(layout, *reading);
        const auto model = engine_.models.find(LayoutMaps::languageOf(layout));
        if (model == engine_.models.end()) continue;
        if (const std::optional<double> score = model->second.score(*reading)) scores.insert(layout, *score);
    }
    if (scores.isEmpty()) return std::nullopt;
    double typedScore = std::numeric_limits<double>::max();
    if (scores.contains(typed)) typedScore = scores.value(typed);
    else for (double s : scores) typedScore = std::min(typedScore, s);
    QString best = typed;
    double bestScore = -std::numeric_limits<double>::max();
    for (const QString& layout : order) {
        auto it = scores.constFind(layout);
        if (it != scores.constEnd() && *it > bestScore) {
            best = layout;
            bestScore = *it;
        }
    }
    return WordAnalysis{best, readings.value(best, word), bestScore - typedScore};
}

bool LayoutBoundaryDecision::looksLikeRussianProse() const {
    const qint64 floor = engine_.rules().hyphenProseFloor;
    for (const QString& w : {engine_.prevWord(), engine_.prevWord2()}) {
        if (!w.isEmpty() && lex_.corpusFreq.value(w, 0) >= floor) return true;
    }
    return false;
}

void LayoutBoundaryDecision::logDecision(const QString& word, const QString& cur, const QString& best, double margin,
                                         BufStart start, const QString& decision) const {
    logTrace([&] {
        return QStringLiteral("layout: [") + word + QStringLiteral("] cur=") + cur + QStringLiteral(" best=") + best +
               QStringLiteral(" m=") + twoPlaces(margin) + QStringLiteral(" ctx=") +
               engine_.recentLang.value_or(QStringLiteral("-")) + QStringLiteral(" st=") +
               LayoutSwitcher::bufStartName(start) + QStringLiteral(" -> ") + decision;
    });
}

bool LayoutBoundaryDecision::isWordOf(const QString& text, const QString& layout, bool caseVariant) {
    return checks_.isRealWordInLayout(text, layout, caseVariant) == std::optional<bool>(true);
}

bool LayoutBoundaryDecision::isWorthFlippingInto(const QString& word) const {
    if (engine_.isWorthFlippingInto(word)) return true;
    // The strong open-dictionary words live in the lexicons, filled by their load.
    return engine_.openDictConverts && charCount(word) >= 4 && lex_.openStrong.contains(word);
}

bool LayoutBoundaryDecision::isOwnLayoutWord(const QString& core, const QString& typed) {
    // Russian abbreviations written without their full stops, which no word list holds.
    static const QSet<QString> bareAbbreviations{QStringLiteral("тд"), QStringLiteral("тп"), QStringLiteral("тк"),
                                                 QStringLiteral("тч"), QStringLiteral("др"), QStringLiteral("пр")};
    const QString lower = core.toLower();
    if (typed == kRu && bareAbbreviations.contains(lower)) return true;
    if (WordChecks::twinWords().value(typed).contains(lower)) return true;
    return isWordOf(lower, typed, true);
}

bool LayoutBoundaryDecision::applyCorrection(const QString& word, const QString& to, QChar boundary,
                                             const QString& layout, bool nativeOK, BufStart start) {
    return engine_.parts().correct(word, to, boundary, layout, nativeOK, EditRights(start),
                                 LayoutSwitcher::CorrectionKind::layout);
}

bool LayoutBoundaryDecision::consider(const QString& typedWord, QChar boundary, BufStart start, bool onEnter) {
    const LayoutRules& rules = engine_.rules();
    const QString word = engine_.parts().screenTruthWord(typedWord);
    const std::optional<QString> taken = std::exchange(engine_.undoneWordPrefix, std::nullopt);

    if (word.isEmpty()) return false;
    const std::optional<QString> typedLayout = sourceLayout(word);
    if (!typedLayout) return false;
    const QString typed = *typedLayout;
    const EditRights rights(start);

    const WordParts parts = shape_.splitAffixes(word, WordClasses::punctAll(), typed, rules.ruleLeadingSignLetter);
    const QString lowerCore = parts.core.toLower();
    auto bookkeeping = [&] {
        engine_.recentLang = typed;
        engine_.setPrevWord(lowerCore);
    };

    // A word that continues one the user has just restored is not converted again.
    if (taken && lowerCore.startsWith(*taken)) {
        engine_.veto(QStringLiteral("откат-в-этом-слове"));
        logLine(QStringLiteral("layout: ") + priv(word) + QStringLiteral(" — откат в этом слове, границу пропускаем"));
        bookkeeping();
        return false;
    }
    if (LayoutDisagreement(engine_).disagreementVetoedBoundary(word)) {
        engine_.veto(QStringLiteral("вето·несогласия"));
        logLine(QStringLiteral("layout: ") + priv(word) +
                QStringLiteral(" — вето несогласия (эту конверсию уже откатывали), keep"));
        bookkeeping();
        return false;
    }
    if (!engine_.isEnabled()) {
        engine_.setPrevWord(lowerCore);
        return false;
    }
    if (typed == kEn && LayoutWordShape::isCommandShapedToken(word)) {
        bookkeeping();
        logTrace([&] { return QStringLiteral("layout: [") + word + QStringLiteral("] командная форма -> keep"); });
        return false;
    }

    // A command-line flag typed on the Russian layout. Only a rest that is no Russian word at
    // all is a flag: "-Привет" at the start of a line is a dash and a greeting.
    if (typed == kRu && word.startsWith(QLatin1Char('-'))) {
        const QString rest = word.mid(1);
        int cyrillic = 0;
        bool flagShaped = true;
        for (QChar c : rest) {
            if (LayoutLexicons::isCyrillicLetter(c)) ++cyrillic;
            else if (c != QLatin1Char('-')) flagShaped = false;
        }
        if (flagShaped && cyrillic >= 2 && !lex_.corpusFreq.contains(rest.toLower())) {
            if (const std::optional<QString> flag = LayoutMaps::convert(word, kRu, kEn)) {
                logTrace([&] { return QStringLiteral("layout: [") + word + QStringLiteral("] дефис-флаг в ru -> ") + *flag; });
                return applyCorrection(word, *flag, boundary, kEn, rights.movesSystemLayout(), start);
            }
        }
    }

    if (!parts.core.isEmpty()) {
        if (engine_.isProtectedWord(lowerCore)) {
            bookkeeping();
            logTrace([&] {
                return QStringLiteral("layout: [") + word + QStringLiteral("] ядро [") + parts.core +
                       QStringLiteral("] известное -> keep");
            });
            return false;
        }
        // A word of its own layout is never flipped into a known word of another: "тд" in
        // "и тд" is not the command "nl".
        if (rights.allowsDictionaryFlip(int(wordChars(parts.core).size())) && !isOwnLayoutWord(parts.core, typed)) {
            for (const QString& other : LayoutMaps::layoutOrder()) {
                if (other == typed) continue;
                const std::optional<QString> flipped = LayoutMaps::convert(parts.core, typed, other);
                if (!flipped || !isWorthFlippingInto(flipped->toLower())) continue;
                logLine(QStringLiteral("layout: ") + priv(word) + QStringLiteral(" ядро -> известное ") + priv(*flipped) +
                        QStringLiteral(" -> convert"));
                engine_.noteBrandSeen(*flipped);
                const QString replacement = shape_.resolveEdgePunct(parts.prefix, parts.core, parts.suffix, *flipped,
                                                                    typed, other, rules.ruleTrailSignToEn);
                return applyCorrection(word, replacement, boundary, other, rights.movesSystemLayout(), start);
            }
        }
    }

    const WordParts pure = shape_.splitAffixes(word, WordClasses::punctPure(), std::nullopt, rules.ruleLeadingSignLetter);
    if (pure.core.isEmpty()) return false;
    const WordParts slash = LayoutWordShape::peelSlashAffixes(pure.core);
    // Named variables, not a structured binding: the lambdas below capture them, which
    // clang before 16 refuses for bindings.
    const std::pair<QString, QString> peeled = shape_.peelDigitTail(slash.core, typed);
    const QString& core = peeled.first;
    const QString& digitTail = peeled.second;
    const QString fullPrefix = pure.prefix + slash.prefix;
    const QString fullSuffix = digitTail + slash.suffix + pure.suffix;

    if (const auto scheme = LayoutWordShape::urlSchemeFlip(core, typed)) {
        return applyCorrection(word, fullPrefix + scheme->first + fullSuffix, boundary, scheme->second,
                               rights.movesSystemLayout(), start);
    }
    if ((!rules.ruleDigitVetoDirectional || typed == kEn) && holdsNumberSlashOrAmpersand(core)) {
        engine_.veto(QStringLiteral("цифра-или-код"));
        return false;
    }
    const std::optional<WordAnalysis> analysis = analyze(core, typed);
    if (!analysis) {
        engine_.veto(QStringLiteral("модель-молчит"));
        return false;
    }
    const QString& best = analysis->best;
    const QString& converted = analysis->converted;
    const double margin = analysis->margin;
    const bool bestIsRecent = engine_.recentLang && *engine_.recentLang == best;
    const bool twin = checks_.twinFrequencyWins(core, typed, BestReading{best, converted, margin});
    const QStringList coreChars = wordChars(core);
    const QString lowerAnalysed = core.toLower();

    // The candidate conversion: its layout and text. Without one the word stays.
    std::optional<std::pair<QString, QString>> candidate;
    auto askFlippedReading = [&] {
        if (auto flipped = shape_.flippedReadingIsWord(core, typed, rules.ruleFlippedIsWord)) {
            logLine(QStringLiteral("layout/gate: ") + priv(core) + QStringLiteral("->") + priv(flipped->second) +
                    QStringLiteral(" leading sign is a ") + flipped->first +
                    QStringLiteral(" letter, flipped reading is a ") + flipped->first + QStringLiteral(" word -> flip (R34)"));
            candidate = flipped;
        }
    };

    if (coreChars.size() == 1) {
        const QString c = lowerAnalysed;
        if (!isLetterChar(c)) {
            engine_.veto(QStringLiteral("одиночный.знак"));
            askFlippedReading();
        } else if (WordClasses::soloWords().value(typed).contains(c.front())) {
            engine_.veto(QStringLiteral("одиночная.своё-слово"));
            askFlippedReading();
        } else if (!pure.prefix.isEmpty() || !pure.suffix.isEmpty()) {
            engine_.veto(QStringLiteral("одиночная.в-скобках"));
            askFlippedReading();
        } else {
            for (const QString& other : LayoutMaps::layoutOrder()) {
                if (other == typed) continue;
                const std::optional<QString> reading = LayoutMaps::convert(core, typed, other);
                if (reading && !reading->isEmpty() &&
                    WordClasses::soloWords().value(other).contains(reading->toLower().front())) {
                    candidate = std::pair{other, *reading};
                    break;
                }
            }
            if (!candidate) askFlippedReading();
        }
    } else if (best == typed) {
        askFlippedReading();
    } else {
        // The core without letter-key punctuation at its end.
        QStringList remaining = coreChars;
        int dropped = 0;
        while (!remaining.isEmpty() && remaining.back().size() == 1 &&
               WordClasses::punctLetterTrail().contains(remaining.back().front())) {
            remaining.removeLast();
            ++dropped;
        }
        // The word checks are asked about the word without the signs after it: the spell checker
        // rejects "руку," where it knows "руку".
        const QString checkedCore = remaining.join(QString()).toLower();
        bool stopped = false;
        if (remaining.size() == 1 && dropped > 0) {
            engine_.veto(QStringLiteral("буква+хвостовой-знак"));
            stopped = true;
        }
        bool passed = false;
        const bool noContext = !engine_.recentLang;
        const bool disagreeing = engine_.recentLang && *engine_.recentLang != best;
        const double threshold = noContext ? engine_.tNormal() : bestIsRecent ? engine_.tContext() : engine_.tDisagree();
        if (!stopped) {
            if (twin) {
                if (margin < threshold)
                    logLine(QStringLiteral("layout: ") + priv(word) + QStringLiteral(" двойник, ") + priv(converted) +
                            QStringLiteral(" частотнее набранного -> convert (R17)"));
                passed = true;
            } else if (margin >= threshold) {
                passed = true;
            } else if (rules.ruleTargetWordRescue && coreChars.size() >= LayoutRules::targetWordRescueMinLen &&
                       std::all_of(coreChars.cbegin(), coreChars.cend(), isLetterChar) &&
                       !isWordOf(lowerAnalysed, typed, false) && isWordOf(converted.toLower(), best, false)) {
                logLine(QStringLiteral("layout: ") + priv(word) + QStringLiteral(" порог ") + shortest(margin) +
                        QStringLiteral(" < ") + shortest(threshold) + QStringLiteral(", но ") + priv(converted) +
                        QStringLiteral(" - слово ") + best + QStringLiteral(" -> convert (R15)"));
                passed = true;
            } else if (shape_.capsAbbreviationSide(core, typed, converted, best) == best) {
                logLine(QStringLiteral("layout: ") + priv(word) + QStringLiteral(" порог ") + shortest(margin) +
                        QStringLiteral(" < ") + shortest(threshold) +
                        QStringLiteral(", но это короткая аббревиатура заглавными -> convert (R39)"));
                passed = true;
            } else {
                engine_.veto(QStringLiteral("порог"));
                bool innerSign = false;
                for (const QString& ch : remaining)
                    if (ch.size() == 1 && WordClasses::punctLetterTrail().contains(ch.front())) innerSign = true;
                const QString convertedLetters = lettersOf(converted.toLower());
                if (innerSign && !convertedLetters.isEmpty() && isWordOf(convertedLetters, best, false)) {
                    logLine(QStringLiteral("layout/gate: ") + priv(core) + QStringLiteral("→") + priv(converted) +
                            QStringLiteral(" букво-пункт + реальное слово → flip"));
                    candidate = std::pair{best, converted};
                } else {
                    askFlippedReading();
                }
            }
        }
        if (passed) {
            bool blocked = false;
            if (shape_.capsAbbreviationSide(core, typed, converted, best) == typed) {
                engine_.veto(QStringLiteral("заглавная-аббревиатура"));
                blocked = true;
            }
            if (!blocked && (disagreeing || noContext)) {
                std::optional<bool> dict;
                if (shape_.innerMarkBlocksDict(core, typed, rules.ruleInnerMark, rules.ruleLeadingSignLetter)) dict = false;
                else dict = checks_.isRealShortWordCurated(checkedCore.isEmpty() ? lowerAnalysed : checkedCore, typed, true);
                std::optional<double> typedScore;
                const auto model = engine_.models.find(LayoutMaps::languageOf(typed));
                if (model != engine_.models.end()) typedScore = model->second.score(lowerAnalysed);
                const bool protect = dict ? *dict : (typedScore && *typedScore >= engine_.absFloorDisagree());
                logLine(QStringLiteral("layout/gate: ") + priv(core) + QStringLiteral(" cur=") + typed +
                        QStringLiteral(" dict=") +
                        (dict ? (*dict ? QStringLiteral("true") : QStringLiteral("false")) : QStringLiteral("-")) +
                        QStringLiteral(" curScore=") + (typedScore ? twoPlaces(*typedScore) : QStringLiteral("-")) +
                        QStringLiteral(" m=") + twoPlaces(margin) + QStringLiteral(" → ") +
                        (protect ? QStringLiteral("PROTECT") : QStringLiteral("flip")));
                if (protect && !twin) {
                    engine_.veto(QStringLiteral("словарь-защитил-исходное"));
                    blocked = true;
                }
            }
            if (!blocked && !bestIsRecent &&
                WordChecks::twinWords().value(typed).contains(checkedCore)) {
                engine_.veto(QStringLiteral("близнец"));
                blocked = true;
            }
            if (!blocked) candidate = std::pair{best, converted};
        }
    }

    auto keep = [&]() -> bool {
        if (best == typed) engine_.recentLang = typed;
        logDecision(word, typed, best, margin, start, QStringLiteral("keep"));
        // Spelling fixes are switched off in this system (isSpellEnabled), so a kept word is
        // not offered to the spelling fixer: it would answer "no fix" without looking.
        engine_.setPrevWord(lowerAnalysed);
        return false;
    };
    if (!candidate) return keep();

    // Named references, not a structured binding, for the lambdas below (see above).
    const QString& target = candidate->first;
    const QString& text = candidate->second;
    bool punctKey = false;
    if (rules.rulePunctKeyLetter) {
        for (const QString& ch : coreChars)
            if (LayoutKeyTruth::letterOfOtherLayout(ch, typed, target)) punctKey = true;
    }
    const QString tl = lettersOf(lowerAnalysed);
    const QString cl = lettersOf(text.toLower());
    bool targetIsWord = false;
    if (wordChars(tl).size() == 1 && wordChars(cl).size() == 1) {
        targetIsWord = !checks_.isOneLetterWord(tl, typed) && checks_.isOneLetterWord(cl, target);
    } else if (!tl.isEmpty() && !cl.isEmpty()) {
        const bool typedIsShortWord =
            !punctKey && checks_.isRealShortWordCurated(tl, typed, true) == std::optional<bool>(true);
        if (!typedIsShortWord && isWordOf(cl, target, true)) {
            targetIsWord = true;
            if (checks_.knowsOnlyAsCaseVariant(cl, target)) engine_.noteBrandSeen(cl);
        }
    }
    const bool strong = targetIsWord && coreChars.size() > 1;
    const bool capsSide = shape_.capsAbbreviationSide(core, typed, converted, best) == best;

    auto decided = [&](const QString& label) { logDecision(word, typed, target, margin, start, label); };
    if (!targetIsWord && coreChars.size() <= rules.shortGateMaxLen && !twin && !capsSide) {
        decided(QStringLiteral("keep·коротко"));
        engine_.veto(QStringLiteral("keep·коротко"));
        return keep();
    }
    if (rules.ruleUnknownBothSides && coreChars.size() >= 4 && engine_.recentLang == typed && !tl.isEmpty() &&
        !cl.isEmpty() && !isWordOf(tl, typed, false) && !isWordOf(cl, target, false)) {
        decided(QStringLiteral("keep·обе-стороны-не-слова"));
        engine_.veto(QStringLiteral("keep·обе-стороны-не-слова"));
        return keep();
    }
    if ((rights.allowsUnconfidentFlip() && !onEnter) || strong) {
        decided(strong ? QStringLiteral("convert") : QStringLiteral("convert·text"));
        const QString replacement =
            shape_.resolveEdgePunct(fullPrefix, core, fullSuffix, text, typed, target, rules.ruleTrailSignToEn);
        return applyCorrection(word, replacement, boundary, target, strong, start);
    }
    const QString label = onEnter ? QStringLiteral("keep·enter") : QStringLiteral("keep·правка");
    decided(label);
    engine_.veto(label);
    return keep();
}

}  // namespace murmelo
