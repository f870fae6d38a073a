// How long the clean-up engine takes on a long dictation: it runs on the main thread
// between recognition and delivery, so it has to stay well under 5 ms for 2,000 characters.
#include "cleanup/SmartCleanupEngine.h"

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

const QString& russian() {
    static const QString text = dictation(
        {QStringLiteral("Встреча в пять, нет, в шесть точка"),
         QStringLiteral("Я, э-э, думаю что нам нужно купить два килограмма яблок запятая а потом, эм, зайти в банк точка"),
         QStringLiteral("Купи молоко, отмени это, купи хлеб и сыр точка новый абзац"),
         QStringLiteral("Скидка составит пять процентов, точнее, десять процентов точка"),
         QStringLiteral("Запиши номер цифрой семь вопросительный знак с новой строки"),
         QStringLiteral("План на завтра двоеточие позвонить маме, проверить почту и  ,  отправить отчёт точка")},
        2000);
    return text;
}

const QString& english() {
    static const QString text = dictation(
        {QStringLiteral("So, um, I think we should meet at five, actually six period"),
         QStringLiteral("Buy milk, scratch that, buy bread and cheese period new paragraph"),
         QStringLiteral("It costs fourteen percent more comma and the trip takes three hours period"),
         QStringLiteral("Uh, write it as a number twelve question mark new line"),
         QStringLiteral("We need two kilograms of apples  ,  and ten minutes of rest exclamation mark")},
        2000);
    return text;
}

void BM_CleanupRussianStructured(benchmark::State& state) {
    const QString& text = russian();
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::structured, QStringLiteral("ru")));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

void BM_CleanupEnglishStructured(benchmark::State& state) {
    const QString& text = english();
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::structured, QStringLiteral("en")));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

// No language tag: both profiles run.
void BM_CleanupBothProfilesClean(benchmark::State& state) {
    const QString& text = russian();
    for (auto _ : state) benchmark::DoNotOptimize(SmartCleanup::process(text, SmartCleanupMode::clean, std::nullopt));
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}

}  // namespace

BENCHMARK(BM_CleanupRussianStructured)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanupEnglishStructured)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanupBothProfilesClean)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
