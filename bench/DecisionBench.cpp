// The word decision runs at every word boundary inside the event tap's callback, so it must
// stay within a keystroke's time: target p99 under 0.5 ms a word, over the real model files,
// the Russian word tables and Debian's Hunspell dictionaries. The words are the typed column
// of the switcher's phrase table, right and wrongly typed, each decided in its phrase's context.
// Run twice: with the Russian word tables read from their text files into memory (the form
// they had before the word-set files), and mapped from the word-set files.
#include "SwitcherBenchSetup.h"
#include "base/DevPaths.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "linux/HunspellSpellChecker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace murmelo;

namespace {

QString modelsDir() { return murmeloDevPath(QStringLiteral("resources/layout-models")); }

// Phrases as lists of words.
std::vector<QStringList> phrases() {
    QFile f(murmeloDevPath(QStringLiteral("app/layout/LayoutPhrases.tsv")));
    std::vector<QStringList> out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        out.push_back(line.section(QLatin1Char('\t'), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    return out;
}

void BM_BoundaryDecision(benchmark::State& state) {
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
    const bool mapped = state.range(0) == 1;
    QString tables = modelsDir();
    if (!mapped) {
        tables = dir.filePath(QStringLiteral("text-tables"));
        QDir().mkpath(tables);
        for (const char* name : {"ru_freq.tsv", "ru_open.tsv", "ru_typos.tsv"})
            QFile::copy(QDir(modelsDir()).filePath(QLatin1String(name)), QDir(tables).filePath(QLatin1String(name)));
    }
    state.SetLabel(mapped ? "word-set files" : "text tables");
    bench::SwitcherServices services;
    static HunspellSpellChecker hunspell;
    SpellChecker::install(&hunspell);

    LayoutLexicons lex(tables, LayoutSwitcherRules{});
    lex.loadSpellIfNeeded();
    bench::NoPolish polish;
    bench::NoDictation dictation;
    SwitchSoundEffects sound;
    LayoutEngineParts parts(polish, dictation, sound, &lex);
    LayoutSwitcher& engine = parts.engine;
    for (const QString& code : LayoutMaps::layoutOrder()) {
        if (auto m = NgramModel::load(modelsDir() + QLatin1Char('/') + code + QStringLiteral(".json")))
            engine.models.insert_or_assign(code, std::move(*m));
    }
    engine.loaded = true;
    LayoutBoundaryDecision& decision = *parts.decision;
    // Corrections are counted, not typed.
    int converted = 0;
    engine.correctionSink = [&](const LayoutSwitcher::CorrectionEvent&) { ++converted; };

    const std::vector<QStringList> table = phrases();
    auto runAll = [&](std::vector<double>* perWordUs) {
        QElapsedTimer t;
        for (const QStringList& words : table) {
            engine.recentLang.reset();
            engine.setPrevWord(QString());
            for (const QString& w : words) {
                t.start();
                benchmark::DoNotOptimize(decision.consider(w, QLatin1Char(' '), LayoutSwitcher::BufStart::clean, false));
                if (perWordUs) perWordUs->push_back(double(t.nsecsElapsed()) / 1e3);
            }
        }
    };
    runAll(nullptr);  // opens the Hunspell dictionaries

    std::vector<double> perWordUs;
    for (auto _ : state) {
        perWordUs.clear();
        converted = 0;
        for (int i = 0; i < 20; ++i) runAll(&perWordUs);
    }
    state.counters["words"] = double(perWordUs.size());
    state.counters["converted"] = converted;
    bench::reportLatency(state, perWordUs);
}
BENCHMARK(BM_BoundaryDecision)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
