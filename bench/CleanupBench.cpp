// How long the clean-up engine takes on a long dictation: it runs on the main thread
// between recognition and delivery, so it has to stay well under 5 ms for 2,000 characters.
// Each case runs at 500, 2,000, 8,000 and 32,000 characters: the cost must grow with the
// length, not faster (8,000 characters at most 4.5 times 2,000).
#include "base/Defaults.h"
#include "cleanup/SmartCleanupEngine.h"
#include "cleanup/SmartCleanupSelfLearningCoordinator.h"

#include <benchmark/benchmark.h>

using namespace murmelo;

namespace {

// A dictation of exactly `length` characters built from spoken sentences with fillers,
// self-corrections, spoken punctuation and numbers, so that every processor has work.
QString dictation(const QStringList& sentences, int length) {
    QString text;
    for (int i = 0; text.size() < length; ++i) text += sentences[i % sentences.size()] + QLatin1Char(' ');
    text.truncate(length);
    return text;
}

QString russian(int length) {
    return dictation(
        {QStringLiteral("Встреча в пять, нет, в шесть точка"),
         QStringLiteral("Я, э-э, думаю что нам нужно купить два килограмма яблок запятая а потом, эм, зайти в банк точка"),
         QStringLiteral("Купи молоко, отмени это, купи хлеб и сыр точка новый абзац"),
         QStringLiteral("Скидка составит пять процентов, точнее, десять процентов точка"),
         QStringLiteral("Запиши номер цифрой семь вопросительный знак с новой строки"),
         QStringLiteral("План на завтра двоеточие позвонить маме, проверить почту и  ,  отправить отчёт точка")},
        length);
}

QString english(int length) {
    return dictation(
        {QStringLiteral("So, um, I think we should meet at five, actually six period"),
         QStringLiteral("Buy milk, scratch that, buy bread and cheese period new paragraph"),
         QStringLiteral("It costs fourteen percent more comma and the trip takes three hours period"),
         QStringLiteral("Uh, write it as a number twelve question mark new line"),
         QStringLiteral("We need two kilograms of apples  ,  and ten minutes of rest exclamation mark")},
        length);
}

void BM_CleanupRussianStructured(benchmark::State& state) {
    const QString text = russian(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::structured, QStringLiteral("ru")));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

void BM_CleanupEnglishStructured(benchmark::State& state) {
    const QString text = english(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::structured, QStringLiteral("en")));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

// No language tag: both profiles run.
void BM_CleanupBothProfilesClean(benchmark::State& state) {
    const QString text = russian(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::clean, std::nullopt));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

// Dictated lists of every form, so that detection, grouping and rendering all have work,
// with the refused look-alikes (versions, file names, ordinals inside sentences) between.
QString lists(int length) {
    return dictation(
        {QStringLiteral("План, пункт 1, сделать много, пункт 2, проверить, пункт 3, заработать кучу денег."),
         QStringLiteral("Давай запишем план. Первый пункт – проверить работу. Второй пункт – перезапустить. Третий – заработать."),
         QStringLiteral("Версии 1.2 и 2.3 остаются совместимыми, файлы report1.txt и report2.txt лежат рядом."),
         QStringLiteral("Plan. First point — check the build. Second point — restart it. Third — ship."),
         QStringLiteral("Tasks: 1. check the build, 2. restart the application, 3. record the result."),
         QStringLiteral("Во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать."),
         QStringLiteral("The first user opened the second document.")},
        length);
}

// No language tag, every list skill: the most the list stage is asked to do.
void BM_CleanupListsClean(benchmark::State& state) {
    const QString text = lists(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::clean, std::nullopt));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

// The launch self-test as the start runs it, synchronously before the launch goes on: the
// corpus built, the gate with every skill, then the user's scenarios (none here).
void BM_SelfTestLaunchEvaluation(benchmark::State& state) {
    Defaults defaults;
    SmartCleanupScenarioStore store(&defaults);
    SmartCleanupSelfLearningCoordinator coordinator(store);
    qint64 scenarios = 0;
    for (auto _ : state) scenarios = coordinator.runEvaluation().totalCount;
    state.SetLabel(QStringLiteral("%1 scenarios").arg(scenarios).toStdString());
}

void lengths(benchmark::internal::Benchmark* b) {
    for (const int length : {500, 2000, 8000, 32000}) b->Arg(length);
}

}  // namespace

BENCHMARK(BM_SelfTestLaunchEvaluation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanupRussianStructured)->Unit(benchmark::kMillisecond)->Apply(lengths);
BENCHMARK(BM_CleanupEnglishStructured)->Unit(benchmark::kMillisecond)->Apply(lengths);
BENCHMARK(BM_CleanupBothProfilesClean)->Unit(benchmark::kMillisecond)->Apply(lengths);
BENCHMARK(BM_CleanupListsClean)->Unit(benchmark::kMillisecond)->Apply(lengths);

BENCHMARK_MAIN();
