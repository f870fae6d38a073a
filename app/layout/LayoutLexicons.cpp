#include "layout/LayoutLexicons.h"

#include "base/OrderlyQuit.h"

#include "base/Bundle.h"
#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/LayoutRules.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"
#include "platform/SpellChecker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <limits>
#include <malloc.h>

namespace murmelo {

namespace {

const QString kSpellGuessKey = QStringLiteral("layoutSpellGuess");

// Words are mostly plain Cyrillic or Latin, where one code unit is one character; only
// texts with surrogates or combining marks need the grapheme walk.
bool oneUnitPerChar(const QString& s) {
    for (QChar c : s) {
        if (c.isSurrogate() || c.isMark() || c == QLatin1Char('\r')) return false;
    }
    return true;
}

// The whole file as text; nothing when it is missing, unreadable or not valid UTF-8.
std::optional<QString> readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

// Calls fn with the tab-separated, non-empty fields of every line that has one. Lines end
// at LF; a CR before it is part of the line end, not of the last field.
template <class Fn>
void forEachRow(const QString& text, Fn&& fn) {
    QList<QStringView> fields;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty()) continue;
        fields.clear();
        for (QStringView f : line.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) fields << f;
        if (!fields.isEmpty()) fn(fields);
    }
}

// A decimal 64-bit integer with an optional sign and nothing else.
std::optional<qint64> parseInteger(QStringView s) {
    qsizetype i = 0;
    bool negative = false;
    if (!s.isEmpty() && (s[0] == QLatin1Char('+') || s[0] == QLatin1Char('-'))) {
        negative = s[0] == QLatin1Char('-');
        i = 1;
    }
    if (i >= s.size()) return std::nullopt;
    quint64 v = 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        const quint64 d = c - u'0';
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (negative) return v == limit ? std::numeric_limits<qint64>::min() : -qint64(v);
    return qint64(v);
}

// The file's prefixes were made from the corpus file, so only the words added on top of it
// can make more: a beginning that the file lacks has at most one continuing corpus word in
// the file, and becomes live when added words bring its count to the minimum.
LivePrefixes livePrefixesOf(const WordCounts& corpus, const std::shared_ptr<const WordSetFile>& made, bool ruleLivePrefix) {
    if (!ruleLivePrefix) return {};
    constexpr int minLen = LayoutSwitcherRules::livePrefixMinLen;
    constexpr int maxLen = LayoutSwitcherRules::livePrefixMaxLen;
    LivePrefixes out(corpus.file() ? made : nullptr);
    QHash<QString, int> counts;
    corpus.forEachAddedNew([&](const QString& w) {
        const bool plain = oneUnitPerChar(w);
        const int n = plain ? int(w.size()) : charCount(w);
        if (n <= minLen) return;
        for (int L = minLen; L <= std::min(n - 1, maxLen); ++L) {
            const QString p = plain ? w.left(L) : firstChars(w, L);
            if (!out.contains(L, p)) ++counts[p];
        }
    });
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
        const int inFile = corpus.file() && corpus.file()->extends(it.key()) ? 1 : 0;
        if (it.value() + inFile >= LayoutSwitcherRules::livePrefixMinParents) out.insert(it.key());
    }
    return out;
}

}  // namespace

LayoutSwitcherRules LayoutSwitcherRules::fromEnvironment() {
    // The switcher's one table of switches reads them.
    const LayoutRules all = LayoutRules::read(LayoutRules::processEnvironment(), Defaults::shared());
    LayoutSwitcherRules r;
    r.ruleLivePrefix = all.ruleLivePrefix;
    r.ruleLiveStem = all.ruleLiveStem;
    r.liveStemMinLen = int(all.liveStemMinLen);
    r.liveStemMinFreq = int(all.liveStemMinFreq);
    r.liveStemFST = all.liveStemFST;
    r.ruleTwinFrequency = all.ruleTwinFrequency;
    r.ruleShortRuCurated = all.ruleShortRuCurated;
    return r;
}

int charCount(const QString& word) { return oneUnitPerChar(word) ? int(word.size()) : graphemeCount(word); }

QString firstChars(const QString& word, int n) {
    if (oneUnitPerChar(word)) return word.left(n);
    return graphemes(word).mid(0, n).join(QString());
}

struct LayoutLexicons::SpellInputs {
    QString modelsDir;
    QString personalPath;
    bool noPersonal = false;
    bool noOpen = false;
    QString customVocab;
    bool ruleLivePrefix = true;
};

struct LayoutLexicons::SpellTables {
    std::optional<QString> spellLang;
    std::optional<QString> spellLangEn;
    int languageCount = 0;
    WordCounts corpusFreq;
    int personalCount = 0;
    int vocabCount = 0;
    WordSet openWords;
    WordSet openStrong;
    WordPairs corpusTypos;
    std::shared_ptr<const WordSetFile> prefixFile;
    LivePrefixes livePrefixes;
};

struct LayoutLexicons::GuessTables {
    QHash<QString, qint64> wordBigrams;
    QSet<QString> corpusPhoneticKeys;
    double seconds = 0;
};

LayoutLexicons::LayoutLexicons(QString dir, LayoutSwitcherRules r) : modelsDir(std::move(dir)), rules(r) {}

LayoutLexicons::~LayoutLexicons() {
    alive_.reset();
    if (worker_.joinable()) worker_.join();
}

LayoutLexicons& LayoutLexicons::shared() { return sharedService<LayoutLexicons>(); }

QString LayoutLexicons::defaultModelsDir() {
    const QString dev = murmeloRepoPath(QStringLiteral("layout/models"));
    if (QFileInfo(dev).isDir()) return dev;
    return QDir(Bundle::resourcesPath()).filePath(QStringLiteral("layout-models"));
}

bool LayoutLexicons::isSpellGuessEnabled() const { return Defaults::shared().boolValue(kSpellGuessKey); }

void LayoutLexicons::setSpellGuessEnabled(bool on) {
    Defaults::shared().set(kSpellGuessKey, on);
    // While a background load runs, its hand-over looks at the setting again.
    if (on && spellLoaded && !loading_) loadGuessIfNeeded();
}

LayoutLexicons::SpellInputs LayoutLexicons::gatherSpellInputs() const {
    SpellInputs in;
    in.modelsDir = modelsDir;
    const QString local = QDir(modelsDir).filePath(QStringLiteral("personal_freq.tsv"));
    in.personalPath = QFileInfo::exists(local) ? local : murmeloDevPath(QStringLiteral("layout/models/personal_freq.tsv"));
    in.noPersonal = qEnvironmentVariableIsSet("MURMELO_NO_PERSONAL_CORPUS");
    in.noOpen = qEnvironmentVariableIsSet("MURMELO_NO_OPEN_DICT");
    in.customVocab = Defaults::shared().stringValue(QStringLiteral("customVocab")).value_or(QString());
    in.ruleLivePrefix = rules.ruleLivePrefix;
    return in;
}

LayoutLexicons::SpellTables LayoutLexicons::readSpellTables(const SpellInputs& in) {
    SpellTables t;
    const QDir dir(in.modelsDir);

    const QStringList languages = SpellChecker::shared().availableLanguages();
    t.languageCount = int(languages.size());
    for (const QString& id : languages) {
        const QString lower = id.toLower();
        if (!t.spellLang && lower.startsWith(QLatin1String("ru"))) t.spellLang = id;
        if (!t.spellLangEn && lower.startsWith(QLatin1String("en"))) t.spellLangEn = id;
    }

    if (auto file = WordSetFile::open(dir.filePath(QStringLiteral("ru_freq.fst")), true)) {
        t.corpusFreq = WordCounts(std::move(file));
        t.prefixFile = WordSetFile::open(dir.filePath(QStringLiteral("ru_prefixes.fst")), false);
    } else if (auto text = readText(dir.filePath(QStringLiteral("ru_freq.tsv")))) {
        forEachRow(*text, [&](const QList<QStringView>& f) {
            const qint64 freq = f.size() > 1 ? parseInteger(f[1]).value_or(0) : 0;
            t.corpusFreq.insert(f[0].toString(), freq);
        });
    }

    if (!in.noPersonal) {
        if (auto text = readText(in.personalPath)) {
            forEachRow(*text, [&](const QList<QStringView>& f) {
                if (f.size() < 2) return;
                const auto n = parseInteger(f[1]);
                if (!n) return;
                // Saturating, so that no count overflows when multiplied.
                constexpr qint64 floor = std::numeric_limits<qint64>::min() / 10;
                const qint64 worth = *n >= 15 ? 150 : *n < floor ? std::numeric_limits<qint64>::min() : *n * 10;
                const QString w = f[0].toString();
                t.corpusFreq.insert(w, std::max(t.corpusFreq.value(w, 0), worth));
                ++t.personalCount;
            });
        }
    }

    const QString vocab = in.customVocab.toLower();
    QString run;
    auto flush = [&] {
        if (charCount(run) >= 3 && std::all_of(run.cbegin(), run.cend(), [](QChar c) { return isCyrillicLetter(c); })) {
            t.corpusFreq.insert(run, std::max<qint64>(t.corpusFreq.value(run, 0), 150));
            ++t.vocabCount;
        }
        run.clear();
    };
    for (QChar c : vocab) {
        if (c.isLetter()) run += c;
        else flush();
    }
    flush();

    if (!in.noOpen) {
        if (auto file = WordSetFile::open(dir.filePath(QStringLiteral("ru_open.fst")), false)) {
            t.openWords = WordSet(std::move(file));
            t.openStrong = WordSet(WordSetFile::open(dir.filePath(QStringLiteral("ru_open_strong.fst")), false));
        } else if (auto text = readText(dir.filePath(QStringLiteral("ru_open.tsv")))) {
            forEachRow(*text, [&](const QList<QStringView>& f) {
                const QString w = f[0].toString();
                t.openWords.insert(w);
                if (f.size() >= 3 && f[2].contains(QLatin1Char(','))) t.openStrong.insert(w);
            });
        }
    }

    if (auto file = WordSetFile::open(dir.filePath(QStringLiteral("ru_typos.fst")), false)) {
        t.corpusTypos = WordPairs(std::move(file));
    } else if (auto text = readText(dir.filePath(QStringLiteral("ru_typos.tsv")))) {
        forEachRow(*text, [&](const QList<QStringView>& f) {
            if (f.size() >= 2) t.corpusTypos.insert(f[0].toString(), f[1].toString());
        });
    }

    t.livePrefixes = livePrefixesOf(t.corpusFreq, t.prefixFile, in.ruleLivePrefix);
    return t;
}

void LayoutLexicons::installSpellTables(SpellTables&& t) {
    spellLang = t.spellLang;
    spellLangEn = t.spellLangEn;
    corpusFreq = std::move(t.corpusFreq);
    openWords = std::move(t.openWords);
    openStrong = std::move(t.openStrong);
    corpusTypos = std::move(t.corpusTypos);
    prefixFile_ = std::move(t.prefixFile);
    livePrefixes = std::move(t.livePrefixes);

    if (t.personalCount > 0) {
        logLine(QStringLiteral("layout/spell: персональный корпус %1 слов + customVocab %2")
                    .arg(t.personalCount).arg(t.vocabCount));
    } else {
        logLine(QStringLiteral("layout/spell: личного корпуса нет (это норма для новой установки), customVocab %1"
                               " — жаргон защищён только словарём терминов").arg(t.vocabCount));
    }
    const qsizetype prefixes = livePrefixes.size();
    logLine(QStringLiteral("layout/spell: рус.язык=%1 словарей=%2 корпус.слов=%3 открытых=%4 опечаток=%5 живых префиксов=%6")
                .arg(spellLang.value_or(QStringLiteral("НЕТ")))
                .arg(t.languageCount)
                .arg(corpusFreq.size())
                .arg(openWords.size())
                .arg(corpusTypos.size())
                .arg(prefixes));
}

void LayoutLexicons::loadSpellIfNeeded() {
    if (spellLoaded) return;
    spellLoaded = true;
    installSpellTables(readSpellTables(gatherSpellInputs()));
    if (isSpellGuessEnabled()) loadGuessIfNeeded();
}

void LayoutLexicons::buildLivePrefixes() { livePrefixes = livePrefixesOf(corpusFreq, prefixFile_, rules.ruleLivePrefix); }

LayoutLexicons::GuessTables LayoutLexicons::readGuessTables(const QString& dir, const WordCounts& corpus) {
    QElapsedTimer timer;
    timer.start();
    GuessTables t;
    if (auto text = readText(QDir(dir).filePath(QStringLiteral("ru_bigrams.tsv")))) {
        t.wordBigrams.reserve(450000);
        forEachRow(*text, [&](const QList<QStringView>& f) {
            if (f.size() < 3) return;
            QString key;
            key.reserve(f[0].size() + f[1].size() + 1);
            key.append(f[0]).append(QLatin1Char('\t')).append(f[1]);
            t.wordBigrams.insert(key, parseInteger(f[2]).value_or(0));
        });
    }
    t.corpusPhoneticKeys.reserve(corpus.size());
    corpus.forEach([&](const QString& word, qint64) { t.corpusPhoneticKeys.insert(phoneticKey(word)); });
    t.seconds = double(timer.nsecsElapsed()) / 1e9;
    return t;
}

void LayoutLexicons::installGuessTables(GuessTables&& t) {
    wordBigrams = std::move(t.wordBigrams);
    corpusPhoneticKeys = std::move(t.corpusPhoneticKeys);
    logLine(QString::asprintf("layout/spell: словари угадывания загружены за %.2f с (биграмм %d, звучаний %d)", t.seconds,
                              int(wordBigrams.size()), int(corpusPhoneticKeys.size()))
                .replace(QStringLiteral("layout/spell: "), QStringLiteral("layout/spell: ")));
}

void LayoutLexicons::loadGuessIfNeeded() {
    // During a background load the corpus is not in place yet; its hand-over loads the
    // guesses when they are wanted.
    if (guessLoaded || loading_) return;
    guessLoaded = true;
    installGuessTables(readGuessTables(modelsDir, corpusFreq));
}

void LayoutLexicons::runWorker(std::function<void()> work) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread(std::move(work));
}

void LayoutLexicons::startLoadingInBackground() {
    if (spellLoaded) return;
    spellLoaded = true;
    loading_ = true;
    // A quit while the files are read waits for the reader here, while the main queue it
    // posts to still exists.
    if (this == &shared()) OrderlyQuit::addFlushCallback([this] { joinLoader(); });
    const bool withGuess = isSpellGuessEnabled();
    if (withGuess) guessLoaded = true;
    std::weak_ptr<int> alive = alive_;
    runWorker([this, alive, in = gatherSpellInputs(), withGuess] {
        auto tables = std::make_shared<SpellTables>(readSpellTables(in));
        // The spell checker opens a dictionary on its first question; ask here, so that the
        // main thread never pays for it.
        if (tables->spellLang) SpellChecker::shared().accepts(QStringLiteral("да"), *tables->spellLang);
        if (tables->spellLangEn) SpellChecker::shared().accepts(QStringLiteral("yes"), *tables->spellLangEn);
        std::shared_ptr<GuessTables> guess;
        if (withGuess) guess = std::make_shared<GuessTables>(readGuessTables(in.modelsDir, tables->corpusFreq));
        // What reading the files and opening the dictionaries left free stays resident in
        // this thread's heap unless it is handed back.
        malloc_trim(0);
        MainQueue::shared().post([this, alive, tables, guess] {
            if (alive.expired()) return;
            installSpellTables(std::move(*tables));
            if (guess) installGuessTables(std::move(*guess));
            loading_ = false;
            // The setting may have been switched on while the files were read.
            if (!guessLoaded && isSpellGuessEnabled()) loadGuessIfNeeded();
        });
    });
}

void LayoutLexicons::joinLoader() {
    if (worker_.joinable()) worker_.join();
}

QString LayoutLexicons::phoneticKey(const QString& word) {
    QString key;
    const QString lower = word.toLower();
    key.reserve(lower.size());
    for (QChar c : lower) {
        switch (c.unicode()) {
        case u'ъ':
        case u'ь':
            continue;
        case u'о':
            c = u'а';
            break;
        case u'е':
        case u'ё':
        case u'я':
            c = u'и';
            break;
        default:
            break;
        }
        if (key.isEmpty() || key.back() != c) key += c;
    }
    return key;
}

bool LayoutLexicons::isCyrillicLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'а' && u <= u'я') || (u >= u'А' && u <= u'Я') || u == u'ё' || u == u'Ё';
}

bool LayoutLexicons::isCyrillicLetter(const QString& character) {
    return character.size() == 1 && isCyrillicLetter(character.front());
}

}  // namespace murmelo
