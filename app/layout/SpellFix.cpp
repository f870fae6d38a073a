#include "layout/SpellFix.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/RuForms.h"
#include "platform/MainQueue.h"
#include "platform/SpellChecker.h"

#include <algorithm>
#include <vector>

namespace murmelo {

namespace {

constexpr double kResistSeconds = 600;
constexpr int kRecentLimit = 50;
const QString kRuAlphabet = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");

QStringList charsOf(const QString& s) {
    QStringList out;
    const int n = charCount(s);
    if (n == s.size()) {
        out.reserve(n);
        for (QChar c : s) out << QString(c);
        return out;
    }
    return graphemes(s);
}

bool startsUpper(const QString& s) { return !s.isEmpty() && s.front().isUpper(); }

QStringList sortedList(const QSet<QString>& set) {
    QStringList l(set.cbegin(), set.cend());
    l.sort();
    return l;
}

}  // namespace

void SpellFix::spellVeto(const QString& tag) const {
    if (spellVetoSink) spellVetoSink(tag);
}

void SpellFix::saveExceptions() const { Defaults::shared().set(QStringLiteral("layoutExceptions"), sortedList(exceptions)); }

void SpellFix::saveNames() const { Defaults::shared().set(QStringLiteral("spellLearnedNames"), sortedList(learnedNames)); }

bool SpellFix::protectedWord(const QString& lw) const {
    return switcher_.isProtectedWord(lw);
}

void SpellFix::noteSpellFix(const QString& word) {
    const double now = Clock::shared().uptime();
    recentSpellFixes.insert(word.toLower(), now);
    if (recentSpellFixes.size() > kRecentLimit) {
        for (auto it = recentSpellFixes.begin(); it != recentSpellFixes.end();) {
            if (now - it.value() < kResistSeconds) ++it;
            else it = recentSpellFixes.erase(it);
        }
    }
}

bool SpellFix::trySpellFix(const QString& word, const QString& prefix, const QString& suffix, const QString& current,
                           std::optional<QChar> boundary, bool dictOnly) {
    if (!isSpellEnabled) return false;
    if (current != QLatin1String("ru") || !boundary) return false;
    const std::optional<QString> fix = spellFixCandidate(word, dictOnly);
    if (!fix) return false;
    noteSpellFix(word);
    return switcher_.correct(prefix + word + suffix, prefix + *fix + suffix, boundary, current);
}

std::optional<QString> SpellFix::spellFixCandidate(const QString& word, bool dictOnly) {
    if (!isSpellEnabled) return std::nullopt;
    if (!lex_.spellLoaded) lex_.loadSpellIfNeeded();
    auto refuse = [this](const char16_t* tag) {
        spellVeto(QString::fromUtf16(tag));
        return std::nullopt;
    };
    if (!lex_.spellLang) return refuse(u"нет-словаря");
    const int n = charCount(word);
    if (n < 4) return refuse(u"коротко<4");

    const QString lw = word.toLower();
    const double now = Clock::shared().uptime();
    if (auto it = recentSpellFixes.constFind(lw); it != recentSpellFixes.constEnd() && now - *it < kResistSeconds) {
        recentSpellFixes.remove(lw);
        exceptions.insert(lw);
        saveExceptions();
        logLine(QStringLiteral("layout/spell: ") + priv(word) + QStringLiteral(" перепечатан после правки → в исключения навсегда"));
        return refuse(u"сопротивление");
    }
    if (protectedWord(lw)) return refuse(u"исключение");
    if (lex_.corpusFreq.contains(lw)) return refuse(u"корпус-знает");
    if (word == word.toUpper()) return refuse(u"капс");
    if (isLearnedName(lw)) {
        logTrace([&] { return QStringLiteral("layout/spell: [") + word + QStringLiteral("] выученное имя → не трогаем"); });
        return refuse(u"выученное-имя");
    }
    static const QString sentenceEnds = QStringLiteral(".!?…\n\r");
    const bool sentenceStart = prevWord.isEmpty() || !prevBoundary || sentenceEnds.contains(*prevBoundary);
    if (startsUpper(word) && !sentenceStart) {
        learnedNames.insert(lw);
        saveNames();
        logLine(QStringLiteral("layout/spell: ") + priv(word) + QStringLiteral(" с заглавной в середине фразы → запомнил как имя, не трогаю"));
        return refuse(u"заглавная-в-середине");
    }
    if (!std::all_of(word.cbegin(), word.cend(), [](QChar c) { return LayoutLexicons::isCyrillicLetter(c); })) {
        return refuse(u"не-кириллица");
    }
    SpellChecker& checker = SpellChecker::shared();
    if (checker.accepts(word, *lex_.spellLang)) return refuse(u"apple-знает");

    if (std::optional<QString> known = lex_.corpusTypos.find(lw)) {
        QString fix = *known;
        if (startsUpper(word) && !fix.isEmpty() && fix.front().isLower()) fix[0] = fix.front().toUpper();
        logLine(QStringLiteral("layout/spell: ") + priv(word) + QStringLiteral(" -> ") + priv(fix) + QStringLiteral(" (словарь)"));
        return fix;
    }
    if (dictOnly) return refuse(u"enter-режим");
    if (!lex_.isSpellGuessEnabled()) return refuse(u"угадывание-выкл");
    if (RuForms::contains(lw)) {
        logTrace([&] { return QStringLiteral("layout/spell: [") + word + QStringLiteral("] знает автомат словоформ — не угадываем"); });
        return refuse(u"словоформы-знают");
    }
    if (switcher_.polishTermsKnows(lw)) {
        logTrace([&] { return QStringLiteral("layout/spell: [") + word + QStringLiteral("] знает рабочая лексика — не угадываем"); });
        return refuse(u"лексика-знает");
    }
    if (!lex_.guessLoaded) lex_.loadGuessIfNeeded();
    if (startsUpper(word)) {
        logTrace([&] {
            return QStringLiteral("layout/spell: [") + word + QStringLiteral("] с заглавной буквы — не угадываем (имя дороже опечатки)");
        });
        return refuse(u"заглавная-не-угадываем");
    }

    const int maxDistance = n > 6 ? 2 : 1;
    QSet<QString> candidates = corpusEditCandidates(lw);
    for (const QString& g : checker.guesses(word, *lex_.spellLang)) candidates.insert(g.toLower());

    struct Entry {
        QString w;
        qint64 f;
    };
    // Visited in word order, so that equal evidence always picks the same word.
    std::vector<Entry> pool;
    const QString first = charsOf(lw).value(0);
    for (const QString& c : sortedList(candidates)) {
        if (c == lw || !c.startsWith(first)) continue;
        const std::optional<qint64> count = lex_.corpusFreq.find(c);
        if (!count || *count < LayoutLexicons::spellFreqFloor) continue;
        if (levenshtein(lw, c) > maxDistance) continue;
        pool.push_back({c, *count});
    }
    if (pool.empty()) return refuse(u"нет-кандидатов");

    const QString k = LayoutLexicons::phoneticKey(lw);
    std::vector<Entry> narrowed;
    for (const Entry& e : pool) {
        if (LayoutLexicons::phoneticKey(e.w) == k) narrowed.push_back(e);
    }
    if (!narrowed.empty() && narrowed.size() < pool.size()) {
        logTrace([&] {
            QStringList words;
            for (const Entry& e : narrowed) words << e.w;
            return QStringLiteral("layout/spell: [%1] фонетический отбор %2→%3 (%4)")
                .arg(word).arg(pool.size()).arg(narrowed.size()).arg(words.join(QLatin1Char('/')));
        });
        pool = std::move(narrowed);
    }

    auto bigram = [&](const QString& w) -> qint64 {
        if (prevWord.isEmpty()) return 0;
        return lex_.wordBigrams.value(prevWord + QLatin1Char('\t') + w, 0);
    };
    const Entry* best = nullptr;
    qint64 bestBigram = 0;
    qint64 bestFreq = -1;
    for (const Entry& e : pool) {
        const qint64 b = bigram(e.w);
        if (b > bestBigram || (b == bestBigram && e.f > bestFreq)) {
            best = &e;
            bestBigram = b;
            bestFreq = e.f;
        }
    }
    if (!best) return std::nullopt;
    if (bestBigram == 0) {
        for (const Entry& e : pool) {
            if (&e != best && e.f >= bestFreq / 2) {
                logTrace([&] {
                    return QStringLiteral("layout/spell: [") + word + QStringLiteral("] неоднозначно (конкурент ~частоты, без контекста) → пропуск");
                });
                return std::nullopt;
            }
        }
    }
    if (n >= 5 && LayoutLexicons::phoneticKey(best->w) != k && lex_.corpusPhoneticKeys.contains(k)) {
        logTrace([&] {
            return QStringLiteral("layout/spell: [") + word + QStringLiteral("] в корпусе есть созвучное слово, а кандидат [") + best->w +
                   QStringLiteral("] звучит иначе → пропуск");
        });
        return std::nullopt;
    }
    logLine(QStringLiteral("layout/spell: %1 -> %2 (freq=%3, биг=%4, пул=%5)")
                .arg(priv(word), priv(best->w))
                .arg(best->f)
                .arg(bestBigram)
                .arg(candidates.size()));
    return best->w;
}

QSet<QString> SpellFix::corpusEditCandidates(const QString& word) const {
    QSet<QString> out;
    const QStringList c = charsOf(word);
    const int n = int(c.size());
    if (n < 2 || n > 24) return out;
    auto consider = [&](const QString& v) {
        if (lex_.corpusFreq.contains(v)) out.insert(v);
    };
    auto joined = [&](int from, int to) {  // characters [from, to)
        QString s;
        for (int i = from; i < to; ++i) s += c[i];
        return s;
    };
    for (int i = 0; i < n; ++i) consider(joined(0, i) + joined(i + 1, n));
    for (int i = 0; i + 1 < n; ++i) consider(joined(0, i) + c[i + 1] + c[i] + joined(i + 2, n));
    for (int i = 0; i < n; ++i) {
        const QString head = joined(0, i), tail = joined(i + 1, n);
        for (QChar a : kRuAlphabet) {
            if (c[i] != QString(a)) consider(head + a + tail);
        }
    }
    for (int i = 0; i <= n; ++i) {
        const QString head = joined(0, i), tail = joined(i, n);
        for (QChar a : kRuAlphabet) consider(head + a + tail);
    }
    return out;
}

int SpellFix::levenshtein(const QString& a, const QString& b) {
    const QStringList x = charsOf(a), y = charsOf(b);
    const int n = int(x.size()), m = int(y.size());
    std::vector<int> prev(m + 1), cur(m + 1);
    for (int j = 0; j <= m; ++j) prev[j] = j;
    for (int i = 1; i <= n; ++i) {
        cur[0] = i;
        for (int j = 1; j <= m; ++j) {
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
        }
        std::swap(prev, cur);
    }
    return prev[m];
}

bool SpellFix::isLearnedName(const QString& word) const {
    if (learnedNames.contains(word)) return true;
    const QStringList w = charsOf(word);
    for (const QString& name : learnedNames) {
        const QStringList nm = charsOf(name);
        int p = 0;
        while (p < w.size() && p < nm.size() && w[p] == nm[p]) ++p;
        if (p >= 5 && w.size() - p <= 3 && nm.size() - p <= 3) return true;
    }
    return false;
}

}  // namespace murmelo
