// The layout switcher's word questions on the real model files and Debian's Hunspell
// dictionaries: a word reality check runs for every finished word and must stay under
// 50 µs after warm-up; a Hunspell suggestion search for Russian is measured to show why
// it is kept off that path; and the first word asked while the background load is still
// running must not wait for it. The first benchmark shows what the word tables keep
// resident: the Russian tables read from their text files (the form they had before the
// word-set files) and mapped from the word-set files, the n-gram models, and Hunspell.
#include "base/Defaults.h"
#include "base/DevPaths.h"
#include "layout/LayoutLexicons.h"
#include "layout/NgramModel.h"
#include "layout/WordChecks.h"
#include "linux/HunspellSpellChecker.h"
#include "sim/ManualMainQueue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace murmelo;

namespace {

QString modelsDir() { return murmeloDevPath(QStringLiteral("resources/layout-models")); }

// Column 1 of every n-th line of a model file.
QStringList sample(const QString& file, int every, int column = 0, int limit = 2000) {
    QFile f(QDir(modelsDir()).filePath(file));
    QStringList out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    int i = 0;
    while (!f.atEnd() && out.size() < limit) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (i++ % every) continue;
        const QStringList fields = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (fields.size() > column) out << fields[column];
    }
    return out;
}

HunspellSpellChecker& hunspell() {
    static HunspellSpellChecker checker;
    return checker;
}

struct Setup {
    Setup() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
        Defaults::install(&defaults);
        MainQueue::install(&queue);
        SpellChecker::install(&hunspell());
    }
    QTemporaryDir dir;
    Defaults defaults;
    sim::ManualClock clock;
    sim::ManualMainQueue queue{clock};
};

Setup& setup() {
    static Setup s;
    return s;
}

// A folder with only the text tables of the corpus, the open dictionary and the typos: the
// lexicons then read them into memory, as they did before the word-set files.
const QString& textTablesDir() {
    static QTemporaryDir dir;
    static const bool copied = [] {
        for (const char* name : {"ru_freq.tsv", "ru_open.tsv", "ru_typos.tsv"}) {
            QFile::copy(QDir(modelsDir()).filePath(QLatin1String(name)), QDir(dir.path()).filePath(QLatin1String(name)));
        }
        return true;
    }();
    (void)copied;
    static const QString path = dir.path();
    return path;
}

double residentMb() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// What each kind of word table adds to the resident memory, smallest first, so that each
// figure is what its own load left behind. The mapped tables are measured after a question
// about every word of theirs, which brings every page of their files in.
void BM_TablesResident(benchmark::State& state) {
    setup();
    QStringList words;
    for (const QString& file : {QStringLiteral("ru_freq.tsv"), QStringLiteral("ru_open.tsv"), QStringLiteral("ru_typos.tsv")})
        words += sample(file, 1, 0, 1'000'000);
    for (auto _ : state) {
        double before = residentMb();
        auto mapped = std::make_unique<LayoutLexicons>(modelsDir(), LayoutSwitcherRules{});
        mapped->loadSpellIfNeeded();
        int known = 0;
        for (const QString& w : std::as_const(words)) {
            known += mapped->corpusFreq.contains(w) + mapped->openWords.contains(w) + mapped->openStrong.contains(w) +
                     mapped->corpusTypos.contains(w) + mapped->livePrefixes.contains(4, w.left(4));
        }
        benchmark::DoNotOptimize(known);
        state.counters["word_sets_mb"] = residentMb() - before;

        before = residentMb();
        std::vector<NgramModel> models;
        for (const char* code : {"en", "ru"}) {
            if (auto m = NgramModel::load(QDir(modelsDir()).filePath(QLatin1String(code) + QStringLiteral(".json"))))
                models.push_back(std::move(*m));
        }
        state.counters["ngram_models_mb"] = residentMb() - before;

        before = residentMb();
        hunspell().accepts(QStringLiteral("привет"), QStringLiteral("ru_RU"));
        hunspell().accepts(QStringLiteral("hello"), QStringLiteral("en_US"));
        state.counters["hunspell_mb"] = residentMb() - before;

        before = residentMb();
        auto text = std::make_unique<LayoutLexicons>(textTablesDir(), LayoutSwitcherRules{});
        text->loadSpellIfNeeded();
        state.counters["text_tables_mb"] = residentMb() - before;
    }
}
BENCHMARK(BM_TablesResident)->Unit(benchmark::kMillisecond)->Iterations(1);

LayoutLexicons& loaded() {
    setup();
    static LayoutLexicons lex(modelsDir(), LayoutSwitcherRules{});
    lex.loadSpellIfNeeded();
    return lex;
}

void BM_LoadSpellLexicons(benchmark::State& state) {
    setup();
    for (auto _ : state) {
        LayoutLexicons lex(modelsDir(), LayoutSwitcherRules{});
        lex.loadSpellIfNeeded();
        benchmark::DoNotOptimize(lex.corpusFreq.size());
    }
}
BENCHMARK(BM_LoadSpellLexicons)->Unit(benchmark::kMillisecond)->Iterations(3);

LayoutLexicons& loadedFromText() {
    setup();
    static LayoutLexicons lex(textTablesDir(), LayoutSwitcherRules{});
    lex.loadSpellIfNeeded();
    return lex;
}

// Words of the corpus: answered by the tables, read from the text files (0) or mapped (1).
void BM_IsRealWord_CorpusWords(benchmark::State& state) {
    WordChecks checks(state.range(0) ? loaded() : loadedFromText());
    state.SetLabel(state.range(0) ? "word-set files" : "text tables");
    const QStringList words = sample(QStringLiteral("ru_freq.tsv"), 37);
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(checks.isRealWordInLayout(words[i++ % words.size()], QStringLiteral("ru")));
}
BENCHMARK(BM_IsRealWord_CorpusWords)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Misspellings: the tables miss and Hunspell is asked, with the case-variant rule.
void BM_IsRealWord_Misspellings(benchmark::State& state) {
    WordChecks checks(loaded());
    const QStringList words = sample(QStringLiteral("ru_typos.tsv"), 53);
    for (const QString& w : words) checks.isRealWordInLayout(w, QStringLiteral("ru"), true);  // warm-up
    size_t i = 0;
    for (auto _ : state) {
        checks.caseVariantCache.clear();
        benchmark::DoNotOptimize(checks.isRealWordInLayout(words[i++ % words.size()], QStringLiteral("ru"), true));
    }
}
BENCHMARK(BM_IsRealWord_Misspellings)->Unit(benchmark::kMicrosecond);

// English words typed on the Russian keyboard and checked in English.
void BM_IsRealWord_English(benchmark::State& state) {
    WordChecks checks(loaded());
    const QStringList words{QStringLiteral("hello"), QStringLiteral("ghbdtn"), QStringLiteral("world"), QStringLiteral("iphone"),
                            QStringLiteral("keyboard"), QStringLiteral("rfr"), QStringLiteral("layout")};
    size_t i = 0;
    for (auto _ : state) {
        checks.caseVariantCache.clear();
        benchmark::DoNotOptimize(checks.isRealWordInLayout(words[i++ % words.size()], QStringLiteral("en"), true));
    }
}
BENCHMARK(BM_IsRealWord_English)->Unit(benchmark::kMicrosecond);

// What a guess-based case-variant test would cost: a full suggestion search.
void BM_HunspellSuggest_Russian(benchmark::State& state) {
    loaded();
    const QStringList words = sample(QStringLiteral("ru_typos.tsv"), 997, 0, 40);
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(hunspell().guesses(words[i++ % words.size()], QStringLiteral("ru_RU")));
}
BENCHMARK(BM_HunspellSuggest_Russian)->Unit(benchmark::kMillisecond)->Iterations(40);

// The first word asked right after the background load started.
// The counter load_ms is how long the background load took until its tables were ready,
// that is how long a first word would have waited with a load on the main thread.
void BM_FirstWordWhileLoading(benchmark::State& state) {
    setup();
    double loadMs = 0;
    std::vector<double> callsUs;
    for (auto _ : state) {
        state.PauseTiming();
        auto lex = std::make_unique<LayoutLexicons>(modelsDir(), LayoutSwitcherRules{});
        WordChecks checks(*lex);
        QElapsedTimer timer;
        timer.start();
        lex->startLoadingInBackground();
        state.ResumeTiming();
        QElapsedTimer call;
        call.start();
        benchmark::DoNotOptimize(checks.isRealWordInLayout(QStringLiteral("привет"), QStringLiteral("ru")));
        const qint64 callNs = call.nsecsElapsed();
        state.PauseTiming();
        callsUs.push_back(double(callNs) / 1e3);
        lex->joinLoader();
        loadMs += double(timer.nsecsElapsed()) / 1e6;
        setup().queue.runPending();
        lex.reset();
        state.ResumeTiming();
    }
    state.counters["load_ms"] = loadMs / double(state.iterations());
    std::sort(callsUs.begin(), callsUs.end());
    state.counters["call_median_us"] = callsUs[callsUs.size() / 2];
    state.counters["call_max_us"] = callsUs.back();
}
BENCHMARK(BM_FirstWordWhileLoading)->Unit(benchmark::kMicrosecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
