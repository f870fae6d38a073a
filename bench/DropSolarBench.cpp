// Also one frame of the water design at its top window (214x127 points at 2x), and one bead
// render per display scale as the launch's prewarm does it (with the prewarm's own call, which
// must return at once on the main thread).
//
// One frame of the light design, all four passes, at the top window's size (560x340 points at
// 2x, so 1120x680 pixels) on the test desktop's OpenGL, finished before the clock stops. On a
// machine without a graphics processor (Mesa's software renderer, LIBGL_ALWAYS_SOFTWARE=1)
// this is the processor time the drop costs per frame while a user speaks. Run inside
// scripts/desktop-session; --benchmark_repetitions gives the spread, and the median and p99
// of the frames are reported as counters.
#include "presence/BeadDrop.h"
#include "presence/SolarPasses.h"
#include "presence/WaterShader.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QThreadPool>
#include <algorithm>
#include <memory>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace murmelo;

void spread(benchmark::State& state, std::vector<double>& frames) {
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) return;
    state.counters["median_ms"] = frames[frames.size() / 2] * 1e3;
    state.counters["p99_ms"] = frames[std::min(frames.size() - 1, frames.size() * 99 / 100)] * 1e3;
}

// Renders one frame per iteration into a target of `size` on the shared context, finished
// before the clock stops. `makeFrame()` runs with the context current and returns what draws
// one frame, `(time, framebuffer)`; it is dropped before the context is released.
template <typename MakeFrame>
void timeFrames(benchmark::State& state, QSize size, MakeFrame&& makeFrame) {
    if (!DropGraphics::shared().ready() || !DropGraphics::shared().makeCurrent()) {
        state.SkipWithError("needs OpenGL 3.3 (scripts/desktop-session)");
        return;
    }
    {
        auto frame = makeFrame();
        Gl::RenderTarget out;
        out.create(size, Gl::TargetFormat::rgba8);
        std::vector<double> frames;
        float time = 0;
        for (auto _ : state) {
            time += 1.0f / 60;
            QElapsedTimer t;
            t.start();
            frame(time, out.framebuffer());
            QOpenGLContext::currentContext()->functions()->glFinish();
            const double seconds = t.nsecsElapsed() / 1e9;
            frames.push_back(seconds);
            state.SetIterationTime(seconds);
        }
        spread(state, frames);
    }
    DropGraphics::shared().context()->doneCurrent();
}

void BM_SolarFrameTop2x(benchmark::State& state) {
    const QSize size(1120, 680);
    timeFrames(state, size, [size] {
        // A speaking user: the light fully out, the voice moving, motes flying.
        SolarUniforms u;
        u.scale = 2;
        u.reveal = 1;
        u.levelFast = 0.35f;
        return [u, size, passes = std::make_unique<SolarPasses>()](float time, GLuint target) mutable {
            u.time = time;
            passes->render(u, false, target, size);
        };
    });
}
BENCHMARK(BM_SolarFrameTop2x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_WaterFrameTop2x(benchmark::State& state) {
    const QSize size(428, 254);
    timeFrames(state, size, [size] {
        // A speaking user: the drop fully out, trembling and rippling.
        DropUniforms u;
        u.scale = 2;
        u.emerge = 1;
        u.lv = 0.35f;
        u.lvF = 0.35f;
        return [u, size, pass = std::make_unique<WaterPass>()](float time, GLuint target) mutable {
            u.time = time;
            pass->render(u, target, size);
        };
    });
}
BENCHMARK(BM_WaterFrameTop2x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_BeadRender(benchmark::State& state) {
    const double scale = state.range(0) / 2.0;
    // The first render compiles the program; the prewarm pays it once for all scales.
    if (BeadDrop::render(BEAD_BOX_PT, BEAD_BODY_PT, scale).isNull()) {
        state.SkipWithError("needs OpenGL 3.3 (scripts/desktop-session)");
        return;
    }
    std::vector<double> frames;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        benchmark::DoNotOptimize(BeadDrop::render(BEAD_BOX_PT, BEAD_BODY_PT, scale));
        const double seconds = t.nsecsElapsed() / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    spread(state, frames);
}
// Scales 1, 1.5, 2 and 3, given in halves.
BENCHMARK(BM_BeadRender)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_BeadPrewarmOnTheMainThread(benchmark::State& state) {
    std::vector<double> calls;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        BeadDrop::prewarm();
        const double seconds = t.nsecsElapsed() / 1e9;
        calls.push_back(seconds);
        state.SetIterationTime(seconds);
        QThreadPool::globalInstance()->waitForDone();
    }
    spread(state, calls);
}
BENCHMARK(BM_BeadPrewarmOnTheMainThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
