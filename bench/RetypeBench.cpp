// A correction erases the word the user typed in the wrong layout and types it again in the
// right one, with our own X keys. Target: a 7-letter word erased and retyped, as the field
// shows it, in under 100 ms. The Cyrillic letters are typed on the Russian group, never on
// remapped spare keys, whose first use waits for clients to re-read the keyboard map.
// Runs inside the test desktop:
//   scripts/desktop-session --target build/bin/murmelo_test_target build/bin/murmelo_retype_bench
#include "DesktopHarness.h"
#include "linux/XTestKeyPoster.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace murmelo;

namespace {

constexpr qint64 MARK = 0x54514D31;

// Erases count characters and types the text one character a post, as the switcher's
// output does.
void retype(linuxdesktop::XTestKeyPoster& poster, int count, const QString& text) {
    for (int i = 0; i < count; ++i) {
        poster.post({51, true, 0, {}, MARK});
        poster.post({51, false, 0, {}, MARK});
    }
    for (const QChar c : text) {
        poster.post({0, true, 0, QString(c), MARK});
        poster.post({0, false, 0, QString(c), MARK});
    }
}

// Runs the event loop in 1 ms slices until the target's line edit holds the text.
bool waitForLine(test::DesktopTarget& target, const QString& text, double seconds) {
    QElapsedTimer t;
    t.start();
    while (target.line() != text) {
        if (t.elapsed() > seconds * 1000) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void BM_RetypeSevenLetterWord(benchmark::State& state) {
    test::DesktopTarget target;
    if (!test::DesktopTarget::available()) {
        state.SkipWithError("needs the test desktop (scripts/desktop-session with --target)");
        return;
    }
    linuxdesktop::XTestKeyPoster poster;
    const QString typed = QStringLiteral("ghjcnjq"), shown = QStringLiteral("простой");
    if (!poster.isConnected() || !target.command("clear") || !target.command("focus line")) {
        state.SkipWithError("the target or the X server did not answer");
        return;
    }
    retype(poster, 0, typed);
    if (!waitForLine(target, typed, 10)) {
        state.SkipWithError("the target's line edit did not take the keys");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        retype(poster, typed.size(), shown);
        if (!waitForLine(target, shown, 10)) {
            state.SkipWithError("the retyped word never arrived");
            return;
        }
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        // Back to the word as the user typed it, untimed.
        retype(poster, shown.size(), typed);
        if (!waitForLine(target, typed, 10)) {
            state.SkipWithError("the reset never arrived");
            return;
        }
    }
}
BENCHMARK(BM_RetypeSevenLetterWord)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
