// A correction erases the word the user typed in the wrong layout and types it again in the
// right one, with our own X keys. Target: a 7-letter word erased and retyped, as the field
// shows it, in under 100 ms. The Cyrillic letters are typed on the Russian group, never on
// remapped spare keys, whose first use waits for clients to re-read the keyboard map.
// Runs inside the test desktop:
//   scripts/desktop-session --target build/bin/murmelo_test_target build/bin/murmelo_retype_bench
#include "DesktopHarness.h"
#include "linux/UserKeys.h"
#include "linux/XTestKeyPoster.h"
#include "linux/XiEventStream.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

// Last: Xlib's macros would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

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

// The person typed the last letter and still holds its key (the live flip's usual case):
// the retyped word's last letter is on that very key, so it waits until the person lets go,
// HOLD_MS after the retype began. Timed from the retype to the word in the field.
void BM_RetypeWithTheKeyStillHeld(benchmark::State& state) {
    constexpr int HOLD_MS = 50;
    constexpr int kQ = 24;  // the key of q and й
    test::DesktopTarget target;
    if (!test::DesktopTarget::available()) {
        state.SkipWithError("needs the test desktop (scripts/desktop-session with --target)");
        return;
    }
    linuxdesktop::XTestKeyPoster poster;
    // The key stream tells the poster what the person holds.
    linuxdesktop::XiEventStream stream([&poster](const linuxdesktop::StreamEvent&) { poster.userKeysChanged(); });
    Display* person = XOpenDisplay(nullptr);
    const QString typed = QStringLiteral("ghjcnjq"), shown = QStringLiteral("простой");
    if (!person || !poster.isConnected() || !stream.isRunning() || !target.command("clear") ||
        !target.command("focus line")) {
        state.SkipWithError("the target or the X server did not answer");
        if (person) XCloseDisplay(person);
        return;
    }
    const auto personKey = [person](bool press) {
        XTestFakeKeyEvent(person, kQ, press ? True : False, 0);
        XFlush(person);
    };
    retype(poster, 0, typed.left(6));
    for (auto _ : state) {
        if (!waitForLine(target, typed.left(6), 10)) {
            state.SkipWithError("the word as typed never arrived");
            break;
        }
        personKey(true);
        if (!waitForLine(target, typed, 10) ||
            !test::waitUntil([] { return linuxdesktop::UserKeys::shared().isHeld(kQ); }, 10)) {
            state.SkipWithError("the person's key never arrived");
            break;
        }
        QElapsedTimer t;
        t.start();
        QTimer::singleShot(HOLD_MS, [&] { personKey(false); });
        retype(poster, typed.size(), shown);
        if (!waitForLine(target, shown, 10)) {
            state.SkipWithError("the retyped word never arrived");
            break;
        }
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        retype(poster, shown.size(), typed.left(6));
    }
    XCloseDisplay(person);
}
BENCHMARK(BM_RetypeWithTheKeyStillHeld)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
